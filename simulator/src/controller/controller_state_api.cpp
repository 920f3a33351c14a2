// The controller's side of the test API.

#include "controller_model.h"
#include "sim_core.h"
#include "simmachine/SimMachine.h"

namespace sim {

bool ControllerSessionOpen() {
    return devices::ControllerModel::Instance().SessionOpen();
}

std::vector<int> ControllerPartitions() {
    return devices::ControllerModel::Instance().Partitions();
}

std::vector<std::string> StagedFiles() {
    return devices::ControllerModel::Instance().StagedFiles();
}

}  // namespace sim
