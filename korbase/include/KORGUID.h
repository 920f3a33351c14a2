#pragma once
// A 16-byte identifier in the usual GUID layout: a 32-bit field, two 16-bit
// fields and 8 single bytes. operator< orders field by field, in that order;
// operator> is its negation, so equal GUIDs compare greater.

#include <array>
#include <cstdint>

class KORGUID {
public:
    KORGUID();
    KORGUID(uint32_t data1, uint16_t data2, uint16_t data3, const std::array<uint8_t, 8>& data4);
    KORGUID(const KORGUID& other);
    KORGUID& operator=(const KORGUID& other);

    bool operator==(const KORGUID& other) const;
    bool operator!=(const KORGUID& other) const;
    bool operator<(const KORGUID& other) const;
    bool operator>(const KORGUID& other) const;

private:
    uint32_t m_data1;
    uint16_t m_data2;
    uint16_t m_data3;
    std::array<uint8_t, 8> m_data4;
};
