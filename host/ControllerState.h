#pragma once
// What the controller holds of an update, asked through the library's
// pass-through export so that the bytes are the catalogue's, and without
// changing anything on the controller: no session is opened.
//
// The partition map query is bound to the update session, and the
// pass-through sends a session-bound command only after the session command
// ran in the same call, which would open a session. So the query goes out
// from a catalogue of our own, the package's entry with zeros where the
// session id goes. A controller with no update session open answers it; one
// with a session open refuses it (completion code 0xCC, which the library
// takes as a failed transfer). A controller that still answers OrinStatus
// right after such a refusal therefore has a session open. This is an
// assumption about the firmware (the simulated controller behaves so):
// where it does not hold, --status reports the controller's state as unknown.

#include <string>
#include <vector>

class UpdateLibrary;

struct ControllerState {
    bool known = false;  // when not, `problem` says why
    bool sessionOpen = false;
    bool partitionsKnown = false;  // the map is not given while a session is open
    std::vector<int> partitions;   // numbers of the partitions that exist
    std::string problem;
};

// Reads the command entries from the package's ipmi_cmd.ini in
// `packageDirectory`. Leaves the working directory as it found it.
ControllerState AskController(const UpdateLibrary& library, const std::string& packageDirectory);
