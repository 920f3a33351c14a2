// The controller model's answers on the wire: status queries, the update
// session, dynamic partitions and their handles, the digest transfer, the
// status poll of long-running commands and the scenario's overrides; and its
// command and settings tables against the shipped catalogue and the README.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "../src/controller/controller_commands.h"
#include "../src/controller/controller_setting_table.h"
#include "ipmi_test_client.h"
#include "simmachine/SimMachine.h"

namespace {

using simtest::IpmiClient;

const char kBegin[] = "30 a1 10 00 00 3c";

struct Exchange {
    std::string request;
    std::string answer;
};

// Runs the exchanges in order on a fresh machine.
void ExpectAnswers(const std::string& scenario, const std::vector<Exchange>& exchanges) {
    sim::Reset(scenario);
    IpmiClient client;
    ASSERT_GE(client.fd(), 0);
    for (const Exchange& exchange : exchanges) {
        EXPECT_EQ(client.Exchange(exchange.request), exchange.answer)
            << scenario << " | " << exchange.request;
    }
}

TEST(ControllerModel, AnswersStatusQueriesAtTheCataloguesPositions) {
    struct Case {
        std::string scenario;
        std::vector<Exchange> exchanges;
    };
    const std::vector<Case> cases = {
        {"", {{"30 a1 01", "31 a1 00 01 00"}, {"30 a1 02", "31 a1 00 00"}}},
        {"controller.orin_status = 1 2 0",
         {{"30 a1 01", "31 a1 00 01 01"},
          {"30 a1 01", "31 a1 00 01 02"},
          {"30 a1 01", "31 a1 00 01 00"},
          {"30 a1 01", "31 a1 00 01 00"}}},
        {"controller.access = 1\ncontroller.ostrel_type = 7 2",
         {{"30 a1 02", "31 a1 00 01"}, {"30 a1 03", "31 a1 00 07"}, {"30 a1 03", "31 a1 00 02"}}},
        {"controller.generation = 48\ncontroller.capability = 0x02\ncontroller.guid = 1",
         {{"30 a1 04", "31 a1 00 04 00 00 00 00 30"},
          {"30 a1 05", "31 a1 00 05 00 00 02"},
          {"30 a1 06", "31 a1 00 06 00 01"}}},
        // Get Device ID, the PICMG probe and an operation the catalogue lacks.
        {"",
         {{"06 01", "07 01 00 20 81 01 23 02 bf 00 00 00 01 00 00 00 00 00"},
          {"2c 00 00", "2d 00 c1"},
          {"30 a1 7f", "31 a1 c1"}}},
    };
    for (const Case& c : cases)
        ExpectAnswers(c.scenario, c.exchanges);
}

// Queries are answered to anyone while no session is open.
TEST(ControllerModel, SessionBoundCommandsNeedTheOpenSessionsId) {
    ExpectAnswers("controller.session_id = 0x5678\ncontroller.partition.1 = OLD",
                  {{"30 a1 11 78 56", "31 a1 cc"},
                   {"30 a1 20 00 00 01 00 53 45 43 55 50 44", "31 a1 cc"},
                   {"30 a1 25 00 00", "31 a1 00 25 00 00 00 00 00 00 02"},
                   {"30 a1 24 00 00 00 01", "31 a1 00 01 00 23 00 4f 4c 44 00 00 00"},
                   {kBegin, "31 a1 00 78 56"},
                   {"30 a1 25 00 00", "31 a1 cc"},
                   {"30 a1 24 00 00 00 01", "31 a1 cc"},
                   {"30 a1 25 34 12", "31 a1 cc"},
                   {"30 a1 25 78 56", "31 a1 00 25 00 00 00 00 00 00 02"},
                   {"30 a1 11 78 56", "31 a1 00"},
                   {"30 a1 11 78 56", "31 a1 cc"}});
    EXPECT_FALSE(sim::ControllerSessionOpen());
    const auto events = sim::TraceOf("controller");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].fields.at("event"), "session refused");
}

// One session at a time: a begin while one is open is refused until its
// owner ends it or it has gone unused for its time-out, which ends it with
// the partitions made in it (one present at start stays).
TEST(ControllerModel, SessionEndsByItsOwnerOrItsTimeOut) {
    const std::string create = "30 a1 20 34 12 23 00 53 45 43 55 50 44";
    const std::string use = "30 a1 25 34 12";
    struct Case {
        std::string scenario;
        std::string begin;
        // Requests and their answers; a step without a request lets that
        // many minutes pass.
        std::vector<std::pair<std::string, std::string>> steps;
        std::string end;  // the session's last event
    };
    const std::vector<Case> cases = {
        {"",
         kBegin,
         {{"", "0"}, {kBegin, "31 a1 d5"}, {"30 a1 11 34 12", "31 a1 00"}},
         "session ended"},
        // The request asks for 60 minutes; 59 are not enough, a use starts them afresh.
        {"",
         kBegin,
         {{create, "31 a1 00"},
          {"", "59"},
          {use, "31 a1 00 25 00 00 00 00 00 00 03"},
          {"", "59"},
          {kBegin, "31 a1 d5"},
          {"", "1"}},
         "session timed out"},
        {"controller.session_timeout = 5",
         kBegin,
         {{"", "4"}, {kBegin, "31 a1 d5"}, {"", "1"}},
         "session timed out"},
        {"",
         "30 a1 10 00 00 02",
         {{"", "1"}, {kBegin, "31 a1 d5"}, {"", "1"}},
         "session timed out"},
        {"controller.session_timeout = 0",
         kBegin,
         {{"", "1440"}, {kBegin, "31 a1 d5"}},
         "session busy"},
        {"", "30 a1 10 00 00 00", {{"", "1440"}}, "session opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario + " | " + c.begin);
        sim::Reset(c.scenario + "\ncontroller.partition.1 = OLD");
        IpmiClient client;
        ASSERT_EQ(client.Exchange(c.begin), "31 a1 00 34 12");
        for (const auto& [request, answer] : c.steps) {
            if (request.empty())
                ::sleep(std::stoul(answer) * 60);
            else
                EXPECT_EQ(client.Exchange(request), answer) << request;
        }
        std::string end;
        for (const sim::Event& event : sim::TraceOf("controller")) {
            if (event.fields.at("event").rfind("session", 0) == 0)
                end = event.fields.at("event");
        }
        EXPECT_EQ(end, c.end);
        const bool open = end == "session opened" || end == "session busy";
        EXPECT_EQ(sim::ControllerSessionOpen(), open);
        EXPECT_EQ(sim::ControllerPartitions(), std::vector<int>{1});
        if (!open) {
            EXPECT_EQ(client.Exchange(kBegin), "31 a1 00 34 12");
        }
    }
}

// The library writes swapBytes(1 << i) low byte first: on the wire the high
// byte of the bit comes first, as in the partition map.
TEST(ControllerModel, DecodesPartitionHandlesInTheMapsByteOrder) {
    struct Case {
        int number;
        std::string handle;
    };
    const std::vector<Case> cases = {{0, "00 01"}, {3, "00 08"}, {15, "80 00"}};
    sim::Reset(
        "controller.partition.0 = ALPHA\ncontroller.partition.3 = BRAVO\n"
        "controller.partition.15 = OMEGA\n");
    IpmiClient client;
    ASSERT_EQ(client.Exchange(kBegin), "31 a1 00 34 12");
    EXPECT_EQ(client.Exchange("30 a1 25 34 12"), "31 a1 00 25 00 00 00 00 00 80 09");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        const std::string withHandle = " 34 12 00 00 00 00 " + c.handle;
        EXPECT_EQ(client.Exchange("30 a1 22" + withHandle), "31 a1 06");  // not attached
        EXPECT_EQ(client.Exchange("30 a1 21 34 12 01 00 00 00 " + c.handle), "31 a1 00");
        EXPECT_EQ(client.Exchange("30 a1 22" + withHandle), "31 a1 00");
        EXPECT_EQ(client.Exchange("30 a1 23 34 12 " + c.handle), "31 a1 00");
    }
    EXPECT_TRUE(sim::ControllerPartitions().empty());
    EXPECT_EQ(client.Exchange("30 a1 23 34 12 00 03"), "31 a1 c9");  // not one partition's bit
}

TEST(ControllerModel, CreatesInTheLowestFreeSlotAndDescribesIt) {
    sim::Reset("controller.partition.0 = OLD");
    IpmiClient client;
    ASSERT_EQ(client.Exchange(kBegin), "31 a1 00 34 12");
    EXPECT_EQ(client.Exchange("30 a1 20 34 12 23 01 53 45 43 55 50 44"), "31 a1 00");
    EXPECT_EQ(sim::ControllerPartitions(), (std::vector<int>{0, 1}));
    EXPECT_EQ(client.Exchange("30 a1 24 34 12 00 01"), "31 a1 00 01 00 23 01 53 45 43 55 50 44");
    EXPECT_EQ(client.Exchange("30 a1 24 34 12 00 02"), "31 a1 cb");
    EXPECT_EQ(client.Exchange("30 a1 20 34 12 00 00 53 45 43 55 50 44"), "31 a1 cc");

    // A controller that names what it creates itself.
    sim::Reset("controller.created_name = OTHER");
    IpmiClient renaming;
    ASSERT_EQ(renaming.Exchange(kBegin), "31 a1 00 34 12");
    EXPECT_EQ(renaming.Exchange("30 a1 20 34 12 23 00 53 45 43 55 50 44"), "31 a1 00");
    EXPECT_EQ(renaming.Exchange("30 a1 24 34 12 00 00"), "31 a1 00 00 00 23 00 4f 54 48 45 52 00");
}

TEST(ControllerModel, LongRunningCommandsFinishThroughTheStatusPoll) {
    const std::string poll = "30 a2 0a 34 12 11 00 00";
    ExpectAnswers("controller.long_running.EndOstrelSession = 2 2 5",
                  {{kBegin, "31 a1 00 34 12"},
                   {"30 a1 11 34 12", "31 a1 02"},
                   {poll, "31 a2 00 0a 11 02 00"},
                   {poll, "31 a2 00 0a 11 02 00"},
                   {poll, "31 a2 00 0a 11 05 00"},
                   {poll, "31 a2 00 0a 11 05 00"}});
    ExpectAnswers("controller.poll_cc = 0xc3", {{poll, "31 a2 c3"}});
    // The poll itself is never long-running, also when named by its bytes.
    ExpectAnswers("controller.long_running.30:a2 = 5", {{poll, "31 a2 00 0a 11 00 00"}});
}

TEST(ControllerModel, OverridesCompletionCodesAndAnswers) {
    ExpectAnswers("controller.cc.OrinStatus = 0xc0 2\ncontroller.response.OstrelType = 31 a1 00 09",
                  {{"30 a1 01", "31 a1 c0"},
                   {"30 a1 01", "31 a1 c0"},
                   {"30 a1 01", "31 a1 00 01 00"},
                   {"30 a1 03", "31 a1 00 09"},
                   {"30 a1 03", "31 a1 00 09"}});
    ExpectAnswers("controller.cc.06:01 = 0xd5", {{"06 01", "07 01 d5"}});
}

TEST(ControllerModel, CollectsTheDigestInPieces) {
    ExpectAnswers("", {{kBegin, "31 a1 00 34 12"},
                       {"30 a1 35 34 12 00 00 61 62 63 00 00 00 00 00 00 00", "31 a1 d5"},
                       {"30 a1 34 34 12", "31 a1 00"},
                       {"30 a1 35 34 12 00 00 61 62 63 00 00 00 00 00 00 00", "31 a1 00"}});
    EXPECT_EQ(sim::IpmiRequestNames().back(), "SecureStageXMLHashTransferSHA");
}

// The model knows the controller's commands itself; the catalogue the
// library ships must describe exactly those, read here independently of
// both the library and the model.
TEST(ControllerModel, ShippedCatalogueDescribesTheModelsCommands) {
    std::ifstream in(std::string(KOR_PACKAGE_DIR) + "/ipmi_cmd.ini");
    ASSERT_TRUE(in);
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::string line;
    std::string section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const size_t equals = line.find(" = ");
        ASSERT_NE(equals, std::string::npos) << line;
        sections[section][line.substr(0, equals)] = line.substr(equals + 3);
    }
    size_t catalogued = 0;
    for (const sim::devices::ControllerCommand& command : sim::devices::ControllerCommands()) {
        if (!command.catalogued)
            continue;
        ++catalogued;
        SCOPED_TRACE(command.name);
        ASSERT_EQ(sections.count(command.name), 1u);
        auto& entry = sections[command.name];
        const std::vector<uint8_t> bytes = simtest::Bytes(entry["Command"]);
        ASSERT_GE(bytes.size(), 3u);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3),
                  (std::vector<uint8_t>{command.netFn, command.command, command.operation}));
        EXPECT_EQ(bytes.size(), command.requestLength);
        EXPECT_EQ(entry["RequestLength"], std::to_string(command.requestLength));
        EXPECT_EQ(entry["ResponseLength"], std::to_string(command.responseLength));
        EXPECT_EQ(entry["IsSessionRequired"],
                  command.session == sim::devices::kSessionFree ? "0" : "1");
    }
    EXPECT_EQ(sections.size(), catalogued);
}

// The README's Controller table states each setting's default: the one the
// settings table gives it, row for row.
TEST(ControllerModel, ReadmeStatesTheSettingsTablesDefaults) {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path() / "README.md");
    ASSERT_TRUE(in);
    std::vector<std::pair<std::string, std::string>> stated;
    bool inSection = false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("### ", 0) == 0)
            inSection = line == "### Controller";
        if (!inSection || line.rfind("| `controller.", 0) != 0)
            continue;
        // Cells end at a bar that is not escaped; the key ends at its first blank.
        std::vector<std::string> cells(1);
        for (size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '|' && line[i - 1] != '\\')
                cells.emplace_back();
            else
                cells.back() += line[i];
        }
        ASSERT_GE(cells.size(), 3u) << line;
        const std::string prefix = "controller.";
        std::string key = cells[0].substr(cells[0].find(prefix) + prefix.size());
        key = key.substr(0, key.find_first_of(" `"));
        // A family's placeholder (partition.N, cc.NAME) stands for any name.
        const size_t dot = key.rfind('.');
        if (dot != std::string::npos &&
            key.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ", dot + 1) == std::string::npos)
            key.erase(dot + 1);
        std::string fallback = cells[1];
        fallback.erase(0, fallback.find_first_not_of(' '));
        fallback.erase(fallback.find_last_not_of(' ') + 1);
        stated.emplace_back(key, fallback);
    }
    std::vector<std::pair<std::string, std::string>> table;
    for (const sim::devices::ControllerSetting& setting : sim::devices::ControllerSettingTable())
        table.emplace_back(setting.key,
                           setting.fallback.empty() ? "" : "`" + setting.fallback + "`");
    EXPECT_EQ(stated, table);
}

TEST(ControllerModel, RejectsMalformedDeviceSettingsWithTheirLine) {
    struct Case {
        std::string scenario;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {"controller.session_id = 0x10000", "<text>:1: controller.session_id"},
        {"controller.session_timeout = 1441", "<text>:1: controller.session_timeout"},
        {"controller.session_timeout = soon", "<text>:1: 'controller.session_timeout'"},
        {"\ncontroller.partition.16 = SECUPD", "<text>:2: controller.partition.16"},
        {"controller.created_name = SECUPD2", "<text>:1: controller.created_name"},
        {"controller.response.OrinStatus = 31 zz", "<text>:1: controller.response.OrinStatus"},
        {"ipmi.fault.OrinStatus = explode", "<text>:1: ipmi.fault.OrinStatus"},
        {"disk sdb = fat=7", "<text>:1: disk sdb"},
        {"disk ../x = fat=12", "<text>:1: disk ../x"},
        {"controller.catalogue = /tmp/ipmi_cmd.ini",
         "<text>:1: controller.catalogue: unknown controller key"},
        // A fault for a command the controller lacks or that cannot take it.
        {"controller.cc.OrinStatuss = 0xc1",
         "<text>:1: controller.cc.OrinStatuss: OrinStatuss is no command"},
        {"controller.response.06-01 = 07 01 00", "<text>:1: controller.response.06-01"},
        {"controller.long_running.poll = 2",
         "<text>:1: controller.long_running.poll: poll does not take this fault"},
        {"\nipmi.fault.EndSession = no_answer",
         "<text>:2: ipmi.fault.EndSession: EndSession is no"},
    };
    for (const Case& c : cases) {
        try {
            sim::Reset(c.scenario);
            ADD_FAILURE() << "accepted: " << c.scenario;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(c.problem), std::string::npos) << error.what();
        }
    }
}

}  // namespace
