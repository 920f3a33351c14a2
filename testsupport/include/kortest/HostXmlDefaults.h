#pragma once
// libxml2's process-wide defaults as a careless host program might set them
// before it loads the library: entities substituted, external DTDs loaded
// with their attribute defaults, documents validated. The library's parse
// must not depend on them. Restored when the object goes.

namespace kortest {

class HostXmlDefaults {
public:
    HostXmlDefaults();
    ~HostXmlDefaults();
    HostXmlDefaults(const HostXmlDefaults&) = delete;
    HostXmlDefaults& operator=(const HostXmlDefaults&) = delete;

private:
    int m_substitute;
    int m_loadExternal;
    int m_validate;
};

}  // namespace kortest
