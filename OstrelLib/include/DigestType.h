#pragma once
// How the controller wants the payload secured: a manifest of SHA-256 digests
// whose own digest is sent to it, or the descriptor's detached GPG signature.

enum DIGEST_TYPE : int {
    DIGEST_TYPE_SHA256 = 0,
    DIGEST_TYPE_GPG = 1,
    // The controller has not answered yet.
    DIGEST_TYPE_UNKNOWN = 99
};
