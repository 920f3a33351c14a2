// The controller's side of the test API, and a fresh controller per run.

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

namespace {

const core::Registration registration([] {
    core::AddResetHandler(
        [] { devices::ControllerModel::Instance().Reset(core::CurrentScenario()); });
});

}  // namespace
}  // namespace sim
