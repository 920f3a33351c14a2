#include "kortest/HostXmlDefaults.h"

#include <libxml/globals.h>
#include <libxml/parser.h>

namespace kortest {

HostXmlDefaults::HostXmlDefaults()
    : m_substitute(xmlSubstituteEntitiesDefault(1)),
      m_loadExternal(xmlLoadExtDtdDefaultValue),
      m_validate(xmlDoValidityCheckingDefaultValue) {
    xmlLoadExtDtdDefaultValue = XML_DETECT_IDS | XML_COMPLETE_ATTRS;
    xmlDoValidityCheckingDefaultValue = 1;
}

HostXmlDefaults::~HostXmlDefaults() {
    xmlSubstituteEntitiesDefault(m_substitute);
    xmlLoadExtDtdDefaultValue = m_loadExternal;
    xmlDoValidityCheckingDefaultValue = m_validate;
}

}  // namespace kortest
