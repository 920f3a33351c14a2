#include "BadAllocException.h"

namespace Exception {

BadAllocException::BadAllocException(const std::string& message) : m_strMessage(message) {}

BadAllocException::~BadAllocException() = default;

const char* BadAllocException::what() const noexcept {
    return m_strMessage.c_str();
}

}  // namespace Exception
