#pragma once
// The transport's settings file: any XML document whose root holds a group
// element with name="Default", which holds a configuration element with
// name="Default", whose child elements are the settings (element name = key,
// text = base-10 value). Loaded once; a failed load is retried on the next use.

#include "IKORIPMIConfiguration.h"
#include "KORLock.h"
#include "KORString.h"

struct _xmlDoc;
struct _xmlNode;

class KORIPMIXMLConfig : public IKORIPMIConfiguration {
public:
    explicit KORIPMIXMLConfig(const KORString& fileName);
    KORIPMIXMLConfig(const KORIPMIXMLConfig&) = delete;
    KORIPMIXMLConfig& operator=(const KORIPMIXMLConfig&) = delete;

    bool Initialize() override;
    bool GetConfigInt(const KORString& key, int* value) override;
    // A document already loaded stays.
    void SetConfigurationFileName(KORString name) override;
    virtual ~KORIPMIXMLConfig();
    // Frees the document; the next use loads the file again.
    virtual bool Release();

    _xmlNode* GetDefaultConfigNode();

private:
    bool InitializeLocked();
    _xmlNode* GetDefaultConfigNodeLocked();
    void ReleaseLocked();

    KORString m_fileName;
    bool m_bLoaded;
    _xmlDoc* m_pDocument;
    _xmlNode* m_pDefaultConfigNode;
    // Threads that initialize their first sessions at the same time share this object.
    KORLock m_lock;
};
