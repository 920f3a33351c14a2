#pragma once
// The codes the update records in the error catalogue, named by what they
// mean. The numbers are the host's: every device record carries one, and
// "ErrorCodes.xml" holds the message of each. Codes are recorded through
// VEK_RAISE (VEKErrorReporting.h) or, for the few that end no failure,
// written to the catalogue's current code directly.
//
// A new code also needs its message in "ErrorCodes.xml", a row in the
// host's exit table (host/ExitStatus.cpp and the README) and, where a
// command's refusal records it, a row of the fault matrix's kCommandFailures
// (library/tests/StagedUpdateScenarios_test.cpp).
//
// A number may stand for more than one meaning (2, 63); each meaning has its own
// name so that a reader sees which one a site records.

namespace VEKErrorCode {

// The whole update succeeded.
constexpr int kSuccess = 0;
// The update failed in a step that records no code of its own; recorded
// first, so that such a failure still reports something.
constexpr int kUnexpectedFailure = 1;
// The controller names no security method the library supports.
constexpr int kNoSecurityMethod = 2;
// A session-bound command before the update session was opened.
constexpr int kNoSessionOpen = 2;
constexpr int kPartitionNotCreated = 22;
constexpr int kPartitionNotDetached = 23;
// The controller refused the manifest's digest or the command before it.
constexpr int kManifestDigestNotSent = 24;
// The controller refused the attach, or the attached partition has no mount
// location.
constexpr int kPartitionNotAttached = 27;
// A command's answer was lost or cut short, the controller refused its data
// (0xCC), or a long-running command never completed.
constexpr int kIpmiTransferFailed = 28;
// A failure of the library's own work or of a query it cannot do without:
// an object that cannot be made, a partition query or status poll refused,
// a file that cannot be written or copied.
constexpr int kInternalFailure = 31;
// "ipmi_cmd.ini" is missing, unreadable or holds a malformed entry.
constexpr int kCommandFileUnusable = 33;
// The attached partition never appeared as a disk or could not be mounted.
constexpr int kPartitionNotMounted = 37;
constexpr int kPartitionNotDeleted = 44;
constexpr int kStagingAccessDisabled = 45;
// No IPMI driver could be loaded or no IPMI device opened.
constexpr int kIpmiUnavailable = 46;
// Stage status 7: the controller's Orin service is disabled.
constexpr int kOrinDisabled = 55;
constexpr int kUsbArbitratorRunning = 56;
// The controller granted no update session.
constexpr int kSessionNotGranted = 63;
// Another update holds the machine's update lock: this one did not start.
constexpr int kUpdateInProgress = 63;
// The controller did not accept the staged payload: a checksum mismatch, a
// refused stage command, or a stage still pending after the last poll.
constexpr int kStageNotAccepted = 66;
// Stage status 5: the device or the action is not supported.
constexpr int kNotSupported = 67;
// Stage status 6: the controller needs a firmware update first.
constexpr int kControllerFirmwareTooOld = 68;
constexpr int kNoStagingStorage = 71;
constexpr int kOrinNotReady = 72;
// Not running as root, or on no platform the library knows.
constexpr int kUnsupportedSystem = 73;
// "package.xml" (or its signature, for the GPG method) is missing or empty.
constexpr int kPackageFileMissing = 74;
// The payload directory holds no file.
constexpr int kPayloadEmpty = 75;
// A command the update needs is not in "ipmi_cmd.ini".
constexpr int kCommandNotDefined = 76;

}  // namespace VEKErrorCode
