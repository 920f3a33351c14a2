#include "KORGUID.h"

#include <tuple>

KORGUID::KORGUID() : m_data1(0), m_data2(0), m_data3(0), m_data4{} {}

KORGUID::KORGUID(uint32_t data1, uint16_t data2, uint16_t data3,
                 const std::array<uint8_t, 8>& data4)
    : m_data1(data1), m_data2(data2), m_data3(data3), m_data4(data4) {}

KORGUID::KORGUID(const KORGUID& other) = default;

KORGUID& KORGUID::operator=(const KORGUID& other) = default;

bool KORGUID::operator==(const KORGUID& other) const {
    return std::tie(m_data1, m_data2, m_data3, m_data4) ==
           std::tie(other.m_data1, other.m_data2, other.m_data3, other.m_data4);
}

bool KORGUID::operator!=(const KORGUID& other) const {
    return !(*this == other);
}

bool KORGUID::operator<(const KORGUID& other) const {
    return std::tie(m_data1, m_data2, m_data3, m_data4) <
           std::tie(other.m_data1, other.m_data2, other.m_data3, other.m_data4);
}

// Callers rely on this being the negation of operator<, so that it holds for
// equal GUIDs too; it is not a second strict order.
bool KORGUID::operator>(const KORGUID& other) const {
    return !(*this < other);
}
