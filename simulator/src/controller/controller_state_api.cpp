// The controller's side of the test API. Each query is a transaction, so that
// it sees what another process on a kept machine did meanwhile.

#include "controller_model.h"
#include "sim_core.h"
#include "simmachine/SimMachine.h"

namespace sim {

bool ControllerSessionOpen() {
    const core::MachineTransaction transaction;
    return devices::ControllerModel::Instance().SessionOpen();
}

std::vector<int> ControllerPartitions() {
    const core::MachineTransaction transaction;
    return devices::ControllerModel::Instance().Partitions();
}

std::vector<std::string> StagedFiles() {
    const core::MachineTransaction transaction;
    return devices::ControllerModel::Instance().StagedFiles();
}

}  // namespace sim
