#include "StatusCommand.h"

#include <exception>
#include <iostream>
#include <memory>

#include "ControllerState.h"
#include "Json.h"
#include "JsonReport.h"
#include "StagingLeftovers.h"
#include "UpdateLibrary.h"
#include "UpdateLockState.h"

namespace {

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) {
        joined += (joined.empty() ? "" : ", ") + text;
    }
    return joined;
}

std::vector<std::string> Quoted(const std::vector<std::string>& texts) {
    std::vector<std::string> quoted;
    quoted.reserve(texts.size());
    for (const std::string& text : texts) {
        quoted.push_back(JsonString(text));
    }
    return quoted;
}

// Everything an ended update should not have left, in words.
std::vector<std::string> LeftoversOf(const ControllerState& controller,
                                     const StagingLeftovers& machine) {
    std::vector<std::string> leftovers;
    for (const int number : controller.partitions) {
        leftovers.push_back("partition " + std::to_string(number) + " on the controller");
    }
    if (controller.sessionOpen) {
        leftovers.emplace_back("an update session open on the controller");
    }
    if (!machine.mountedDevice.empty()) {
        leftovers.push_back(machine.mountedDevice + " mounted on /tmp/SECUPD");
    }
    for (const std::string& link : machine.links) {
        leftovers.push_back("device link " + link);
    }
    for (const std::string& rule : machine.rules) {
        leftovers.push_back("udev rule " + rule);
    }
    return leftovers;
}

std::string DescribeController(const ControllerState& controller) {
    if (!controller.known) {
        return "state unknown: " + controller.problem;
    }
    if (controller.sessionOpen) {
        return "an update session is open (it refused the partition query without one)";
    }
    std::vector<std::string> numbers;
    for (const int number : controller.partitions) {
        numbers.push_back(std::to_string(number));
    }
    return "no update session open, " +
           (numbers.empty() ? std::string("no partition") : "partitions " + Joined(numbers));
}

std::string ControllerJson(const ControllerState& controller) {
    std::vector<std::string> numbers;
    for (const int number : controller.partitions) {
        numbers.push_back(std::to_string(number));
    }
    JsonObject json;
    json.Bool("known", controller.known)
        .Raw("session_open", !controller.known        ? "null"
                             : controller.sessionOpen ? "true"
                                                      : "false")
        .Raw("partitions", controller.partitionsKnown ? JsonArray(numbers) : "null");
    if (!controller.known) {
        json.String("problem", controller.problem);
    }
    return json.Text();
}

}  // namespace

int RunStatus(const std::string& libraryPath, const std::string& packageDirectory,
              ReportChannel& channel) {
    const UpdateLockState lock = ReadUpdateLock();
    ControllerState controller;
    bool libraryLoaded = false;
    try {
        const UpdateLibrary library(libraryPath);
        libraryLoaded = true;
        controller = AskController(library, packageDirectory);
    } catch (const std::exception& failure) {
        controller.problem = failure.what();
    }
    const StagingLeftovers machine = FindStagingLeftovers();
    const std::vector<std::string> leftovers = LeftoversOf(controller, machine);

    ExitStatus status = ExitStatus::Success;
    if (lock.held) {
        status = ExitStatus::UpdateRunning;
    } else if (!leftovers.empty()) {
        status = ExitStatus::Leftovers;
    } else if (!controller.known) {
        status = libraryLoaded ? ExitStatus::ControllerNotReady : ExitStatus::PackageNotFound;
    }
    const Outcome outcome = OutcomeOf(status);

    std::ostream& out = channel.Json() ? std::cerr : std::cout;
    const std::string holder =
        lock.holder ? "process " + std::to_string(*lock.holder) : "a process";
    out << "update: "
        << (lock.held ? "running, " + holder + " holds " + lock.path
                      : "none running (" + lock.path + " is not locked)")
        << "\ncontroller: " << DescribeController(controller)
        << "\nmachine: " << (machine.Any() ? "holds staging state" : "nothing of an update")
        << "\n";
    for (const std::string& leftover : leftovers) {
        out << (lock.held ? "held by the running update: " : "left behind: ") << leftover << "\n";
    }
    out << "status: " << outcome.name << "\n";

    JsonObject json = Report("status", outcome);
    json.Raw("update", JsonObject()
                           .Bool("running", lock.held)
                           .String("lock", lock.path)
                           .Raw("pid", lock.holder ? std::to_string(*lock.holder) : "null")
                           .Text())
        .Raw("controller", ControllerJson(controller))
        .Raw("machine",
             JsonObject()
                 .Raw("mount",
                      machine.mountedDevice.empty() ? "null" : JsonString(machine.mountedDevice))
                 .Raw("links", JsonArray(Quoted(machine.links)))
                 .Raw("rules", JsonArray(Quoted(machine.rules)))
                 .Text())
        .Raw("leftovers", JsonArray(Quoted(leftovers)));
    if (status == ExitStatus::ControllerNotReady || status == ExitStatus::PackageNotFound) {
        json.Raw("error", ErrorObject(std::nullopt, controller.problem, outcome));
    }
    return channel.Finish(outcome, json.Text());
}
