#pragma once
// Hands a file out in chunks through one buffer whose two halves are
// refilled alternately from the stream. Misuse throws a const char*.
//
//     CDoubleBuffering reader(stream, buffer, size, chunk);
//     while (int n = reader.GetData(out, -1))  // -1: the default chunk
//         Consume(out, n);

#include <fstream>

class CDoubleBuffering {
public:
    // `buffer` holds at least `size` bytes (even), `chunk` lies in
    // (0, size / 2]; neither the stream nor the buffer is owned. Loads the
    // first half.
    CDoubleBuffering(std::ifstream& in, char* buffer, int size, int chunk);

    // Copies the next bytes (at most `length`, -1 meaning the default chunk,
    // which must lie in (0, size / 2]) into `out`; 0 once the file is done.
    int GetData(char* out, int length);

private:
    // Reads up to `count` bytes into the buffer at `offset`; the number read.
    int Fill(int offset, int count);
    // Hands out the last bytes of the file and ends the reading.
    int Finish(char* out);

    std::ifstream& m_rInput;
    char* m_pBuffer;
    int m_iSize;
    int m_iHalf;
    int m_iDefaultChunk;
    int m_iReadPosition;
    int m_iValidLength;
    bool m_bEndReached;
    bool m_bSecondHalfLoaded;
};
