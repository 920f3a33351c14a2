#include "CDoubleBuffering.h"

#include <cstring>

namespace {

const char* const kBadStream = "CDoubleBuffering: Referenced File not Opened or in Bad State!";

}  // namespace

CDoubleBuffering::CDoubleBuffering(std::ifstream& in, char* buffer, int size, int chunk)
    : m_rInput(in),
      m_pBuffer(buffer),
      m_iSize(size),
      m_iHalf(size / 2),
      m_iDefaultChunk(chunk),
      m_iReadPosition(0),
      m_iValidLength(0),
      m_bEndReached(false),
      m_bSecondHalfLoaded(false) {
    if (size % 2 != 0)
        throw "CDoubleBuffering: m_iSize should be Even Number!";
    if (!in.is_open() || in.bad())
        throw kBadStream;
    if (chunk <= 0 || chunk > m_iHalf)
        throw "CDoubleBuffering: Illegal Construction Data!";
    m_iValidLength = Fill(0, m_iHalf);
}

int CDoubleBuffering::GetData(char* out, int length) {
    if (length == -1)
        length = m_iDefaultChunk;
    if (length <= 0 || length > m_iHalf)
        throw "CDoubleBuffering::GetData(): Illegal iDataLen!";
    if (m_bEndReached)
        return 0;

    const int position = m_iReadPosition;
    int end = position + length;
    if (end < m_iValidLength) {
        std::memcpy(out, m_pBuffer + position, static_cast<std::size_t>(length));
        m_iReadPosition = end;
        return length;
    }
    if (m_rInput.eof())
        return Finish(out);

    if (!m_bSecondHalfLoaded) {
        // The data lies in [0, valid); the second half follows it.
        m_iValidLength += Fill(m_iValidLength, m_iHalf);
        if (m_iValidLength < end)
            return Finish(out);
        std::memcpy(out, m_pBuffer + position, static_cast<std::size_t>(length));
        m_iReadPosition = end;
        m_bSecondHalfLoaded = true;
        return length;
    }

    // Both halves are loaded and the first one is consumed: refill it and
    // wrap around.
    m_iValidLength = Fill(0, m_iHalf);
    end %= m_iSize;
    const int tail = m_iSize - position;
    std::memcpy(out, m_pBuffer + position, static_cast<std::size_t>(tail));
    if (m_iValidLength < end) {
        m_bEndReached = true;
        std::memcpy(out + tail, m_pBuffer, static_cast<std::size_t>(m_iValidLength));
        return tail + m_iValidLength;
    }
    std::memcpy(out + tail, m_pBuffer, static_cast<std::size_t>(length - tail));
    m_iReadPosition = end;
    m_bSecondHalfLoaded = false;
    return length;
}

int CDoubleBuffering::Fill(int offset, int count) {
    m_rInput.read(m_pBuffer + offset, count);
    // A read error must not pass for the end of the file: the digest of the
    // bytes read so far would be taken for the file's.
    if (m_rInput.bad())
        throw kBadStream;
    return static_cast<int>(m_rInput.gcount());
}

int CDoubleBuffering::Finish(char* out) {
    m_bEndReached = true;
    const int remaining = m_iValidLength - m_iReadPosition;
    std::memcpy(out, m_pBuffer + m_iReadPosition, static_cast<std::size_t>(remaining));
    m_iReadPosition = m_iValidLength;
    return remaining;
}
