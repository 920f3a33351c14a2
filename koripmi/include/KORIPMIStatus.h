#pragma once
// Status values returned by the IPMI transport. 0 is success; the controller's
// completion code is never a status, it stays in response byte 2.

// The IPMI kernel modules could not be loaded.
constexpr unsigned int KOR_IPMI_STATUS_DRIVER_UNAVAILABLE = 1;
// A null request block was passed in.
constexpr unsigned int KOR_IPMI_STATUS_INVALID_PARAMETER = 0x101;
// The calling thread's session could not be initialized (no device node opens).
constexpr unsigned int KOR_IPMI_STATUS_SESSION_FAILED = 0x101;
// The device could not be opened, or a request or its answer was lost.
constexpr unsigned int KOR_IPMI_STATUS_TRANSPORT_FAILURE = 0x140;
