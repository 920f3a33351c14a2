#pragma once
// Test helpers for the payload: a working directory with the shipped command
// catalogue and error messages, a package directory (package.xml beside a
// payload directory), and payload objects that take the package directory for
// the host program's own directory.

#include <kortest/TemporaryDirectory.h>

#include <string>

#include "CatalogueTestSupport.h"

namespace IPMIFramework {
class CIPMICommandManagement;
}

namespace payloadtest {

template <typename Payload>
class PayloadInPackage : public Payload {
public:
    explicit PayloadInPackage(const std::string& packageDirectory,
                              IPMIFramework::CIPMICommandManagement* catalogue = nullptr,
                              std::string name = "payload")
        : Payload(name, catalogue) {
        this->m_strBaseDirectory = packageDirectory + "/";
    }
};

// The catalogue's working directory and, apart from it, a package directory.
class PayloadWorkDir : public cataloguetest::CatalogueWorkDir {
public:
    const kortest::TemporaryDirectory& Package() const { return m_package; }
    // Writes package.xml (and its signature when asked) and the payload files.
    void WritePackage(std::initializer_list<std::pair<std::string, std::string>> payloadFiles,
                      bool signature = false) const {
        m_package.Write("package.xml", "<SoftwareComponent/>\n");
        if (signature)
            m_package.Write("package.xml.sign", "signature\n");
        for (const auto& [name, content] : payloadFiles)
            m_package.Write("payload/" + name, content);
    }

private:
    kortest::TemporaryDirectory m_package;
};

}  // namespace payloadtest
