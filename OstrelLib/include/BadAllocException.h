#pragma once
// An allocation failure that passed through the update library, its message
// naming where it was noticed: what() of the original, then one
// "path function line\n" per function it passed.

#include <new>
#include <string>

namespace Exception {

class BadAllocException : public std::bad_alloc {
public:
    explicit BadAllocException(const std::string& message);
    ~BadAllocException() override;

    const char* what() const noexcept override;

private:
    std::string m_strMessage;
};

}  // namespace Exception
