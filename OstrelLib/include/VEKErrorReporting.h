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
//         VEK_PASS_ON
//     }
// VEK_PASS_ON adds the function's frame to a passing CVEKException and turns
// std::bad_alloc (a BadAllocException included, which gains one more line)
// into BadAllocException; every other exception passes untouched.

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

}  // namespace Exception

#define VEK_HERE (::Exception::SourcePlace{__FILE__, __LINE__, __func__})

#define VEK_RAISE(code) ::Exception::RaiseWithCode((code), VEK_HERE)
#define VEK_RAISE_CURRENT() ::Exception::RaiseCurrentCode(VEK_HERE)
#define VEK_RAISE_WITH_MESSAGE(message) ::Exception::RaiseWithMessage((message), VEK_HERE)

#define VEK_TRY try
#define VEK_PASS_ON                                                      \
    catch (::Exception::CVEKException & vekPassingException) {           \
        vekPassingException.AddStackTrace(__FILE__, __LINE__, __func__); \
        throw;                                                           \
    }                                                                    \
    catch (const std::bad_alloc& vekAllocationFailure) {                 \
        ::Exception::PassOnBadAlloc(vekAllocationFailure, VEK_HERE);     \
    }
