#pragma once
// How every failing path of the update library reports.
//
// At the point of failure, after logging it at ERROR:
//     VEK_RAISE(31);          // records code 31, throws its catalogue message
//     VEK_RAISE_CURRENT();    // throws the message of the code already recorded
// Every function that lets exceptions pass wraps its body:
//     void CFoo::Bar() {
//         VEK_TRY {
//             ...
//         }
//         VEK_PASS_ON;
//     }
// VEK_PASS_ON adds the function's frame to a passing CVEKException and turns
// std::bad_alloc (a BadAllocException included, which gains one more line)
// into BadAllocException; every other exception passes untouched. It takes
// its semicolon like a statement: without one it does not compile.
// On the way out, where nothing may escape:
//     RunCleanupStep("unloading the module", [] { Unload(); });
// The codes to record are named in VEKErrorCodes.h.

#include <exception>
#include <new>
#include <string>

#include "BadAllocException.h"
#include "CVEKException.h"

namespace Exception {

struct SourcePlace {
    const char* file;
    long line;
    const char* function;
};

// Sets the catalogue's current code, then throws as RaiseCurrentCode does.
[[noreturn]] void RaiseWithCode(int code, const SourcePlace& place);
// Throws a CVEKException with the catalogue's message for the current code.
[[noreturn]] void RaiseCurrentCode(const SourcePlace& place);
// Throws a CVEKException with a fixed message: for the catalogue itself,
// which has no messages while it is being built.
[[noreturn]] void RaiseWithMessage(const std::string& message, const SourcePlace& place);
// Throws a BadAllocException for `caught` with this place appended. Call only
// from the handler that caught `caught`: when even that message cannot be
// allocated, the original is rethrown unchanged.
[[noreturn]] void PassOnBadAlloc(const std::bad_alloc& caught, const SourcePlace& place);

// Logs at ERROR that the clean-up step `what` failed, with the exception's
// text where there is one (reason may be null).
void LogCleanupFailure(const char* what, const char* reason) noexcept;

// Runs one step of a way out (a destructor, the end of an update) so that its
// failure neither escapes nor stops the steps after it: the failure is logged
// and otherwise dropped, since the outcome is already decided.
template <typename Step>
void RunCleanupStep(const char* what, Step step) noexcept {
    try {
        step();
    } catch (const std::exception& error) {
        LogCleanupFailure(what, error.what());
    } catch (...) {
        LogCleanupFailure(what, nullptr);
    }
}

}  // namespace Exception

#define VEK_HERE (::Exception::SourcePlace{__FILE__, __LINE__, __func__})

#define VEK_RAISE(code) ::Exception::RaiseWithCode((code), VEK_HERE)
#define VEK_RAISE_CURRENT() ::Exception::RaiseCurrentCode(VEK_HERE)
#define VEK_RAISE_WITH_MESSAGE(message) ::Exception::RaiseWithMessage((message), VEK_HERE)

#define VEK_TRY try
// The closing static_assert is what demands the semicolon after VEK_PASS_ON.
#define VEK_PASS_ON                                                      \
    catch (::Exception::CVEKException & vekPassingException) {           \
        vekPassingException.AddStackTrace(__FILE__, __LINE__, __func__); \
        throw;                                                           \
    }                                                                    \
    catch (const std::bad_alloc& vekAllocationFailure) {                 \
        ::Exception::PassOnBadAlloc(vekAllocationFailure, VEK_HERE);     \
    }                                                                    \
    static_assert(true, "VEK_PASS_ON is followed by a semicolon")
