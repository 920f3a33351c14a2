#pragma once
// The partition manager's test bench: a simulated machine with an open
// controller session, the manager under test, and what the machine saw
// since the manager was made (requests, command lines, sleeps).

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <memory>
#include <string>
#include <vector>

#include <kortest/KorLog.h>
#include "CIPMICommandManagement.h"
#include "COstrelPartitionManagement.h"
#include "COstrelSession.h"
#include "CatalogueTestSupport.h"

namespace partitiontest {

using Lines = std::vector<std::string>;

// Every partition command is session-bound: each case opens the session
// first and forgets what that took, so that the trace shows partition work only.
class PartitionTest : public ::testing::Test {
protected:
    ~PartitionTest() override { Stop(); }

    void Start(const std::string& scenario = "") {
        Stop();
        sim::Reset(scenario);
        m_catalogue = std::make_unique<IPMIFramework::CIPMICommandManagement>();
        m_session = SessionFramework::COstrelSession::GetOstrelSession(m_catalogue.get());
        Mark();
        m_partition =
            std::make_unique<PartitionFramework::COstrelPartitionManagement>(m_catalogue.get());
    }
    void Stop() {
        m_partition.reset();
        delete m_session;
        m_session = nullptr;
        m_catalogue.reset();
    }

    // What the machine sees from now on is what Requests, Commands and
    // Sleeps give.
    void Mark() {
        m_requestsBefore = cataloguetest::ReceivedRequests().size();
        m_commandsBefore = sim::ShellCommands().size();
        m_sleepsBefore = sim::SleepsMs().size();
    }

    Lines Requests() const { return Since(cataloguetest::ReceivedRequests(), m_requestsBefore); }
    Lines Commands() const { return Since(sim::ShellCommands(), m_commandsBefore); }
    std::vector<uint64_t> Sleeps() const {
        const std::vector<uint64_t> all = sim::SleepsMs();
        return {all.begin() + static_cast<long>(m_sleepsBefore), all.end()};
    }

    static Lines Since(const Lines& all, std::size_t first) {
        return {all.begin() + static_cast<long>(first), all.end()};
    }

    cataloguetest::CatalogueWorkDir m_work;
    kortest::KorLog m_log;
    std::unique_ptr<IPMIFramework::CIPMICommandManagement> m_catalogue;
    SessionFramework::COstrelSession* m_session = nullptr;
    std::unique_ptr<PartitionFramework::COstrelPartitionManagement> m_partition;
    std::size_t m_requestsBefore = 0;
    std::size_t m_commandsBefore = 0;
    std::size_t m_sleepsBefore = 0;
};

inline const std::string kSgCheck = "lsmod | grep -w sg >/dev/null;echo $?";
inline const std::string kRescan = "/sbin/blockdev --report /dev/sd* > /dev/null 2>&1";
inline const std::string kMkdir = "mkdir -p /tmp/SECUPD";
inline const std::string kMount =
    "mount -n -t vfat -oshortname=mixed,rw /dev/secostupd-SECUPD /tmp/SECUPD";
inline const std::string kRemoveDirectory = "rm -rf /tmp/SECUPD > /dev/null 2>&1";
inline const std::string kRemoveLinks = "rm -f /dev/secostupd-* > /dev/null 2>&1";
inline const std::string kIndexInfo = "DynamicPartitionIndexInfo: 30 a1 25 34 12";

inline std::string Detach(const std::string& handle) {
    return "DetachDynamicPartition: 30 a1 22 34 12 00 00 00 00 " + handle;
}
inline std::string Delete(const std::string& handle) {
    return "DeleteDynamicPartition: 30 a1 23 34 12 " + handle;
}

// The lines of each part, one after the other.
inline Lines Joined(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline Lines Repeated(const Lines& lines, int times) {
    return times <= 0 ? Lines{} : Joined({lines, Repeated(lines, times - 1)});
}

}  // namespace partitiontest
