#include "KORHandles.h"

#include <unistd.h>

namespace KORHandles {

void Descriptor::reset(int fd) {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}

}  // namespace KORHandles
