#pragma once
// One device record: what the package supports and, after an update, the
// outcome. The host reads it directly, so the member order and types are
// fixed; the library creates records and never frees those it hands out.

#include <string>
#include <vector>

#include "DeviceInfoTypes.h"

#define CDEVICEINFO_API __attribute__((visibility("default")))

class CDEVICEINFO_API CDeviceInfo {
public:
    CDeviceInfo();
    CDeviceInfo(const CDeviceInfo& other);
    ~CDeviceInfo();

    void setReleaseID(std::string value);
    std::string getReleaseID();
    void setComponentID(std::string value);
    std::string getComponentID();
    void setParentComponentID(std::string value);
    std::string getParentComponentID();
    void setParentDeviceType(eDeviceType value);
    eDeviceType getParentDeviceType();
    void setComponentType(std::string value);
    std::string getComponentType();
    void setDeviceName(std::string value);
    std::string getDeviceName();
    void setVersion(std::string value);
    std::string getVersion();
    void setPCIInfo(SPCIInfo value);
    void setPCIInfo(unsigned short deviceID, unsigned short subDeviceID, unsigned short vendorID,
                    unsigned short subVendorID);
    SPCIInfo getPCIInfo();
    void setDeviceType(eDeviceType value);
    eDeviceType getDeviceType();
    void setDependencyType(eDependencyType value);
    eDependencyType getDependencyType();
    void setDependencyContext(std::string value);
    std::string getDependencyContext();
    void setDependencyPlatforms(std::vector<std::string>& platforms);
    std::vector<std::string> getDepenendencyPlatforms();
    void setParentPCIInfo(std::vector<SPCIInfo>& parents);
    std::vector<SPCIInfo> getParentPCIInfo();
    void setDependencyOS(std::vector<SOSInfo> systems);
    std::vector<SOSInfo> getDependencyOS();
    void setApplicationInfo(CDeviceApplicationInfo* info);
    std::vector<CDeviceApplicationInfo*>* getApplicationInfo();
    void setMessageID(int value);
    int getMessageID();
    void setStatus(int value);
    int getStatus();
    void setErrorMsg(std::string value);
    std::string getErrorMsg();
    void setUpdateStatus(int value);
    int getUpdateStatus();
    void setDisplay(std::string value);
    std::string getDisplay();
    void setDetail(std::string value);
    std::string getDetail();
    void setFilePath(std::string value);
    std::string getFilePath();
    void setCurrentVersion(std::string value);
    std::string getCurrentVersion();
    void setEnumId(std::string value);
    std::string getEnumId();
    void setRebootRequired(bool value);
    bool getRebootRequired();
    void setBDFInfo(unsigned char bus, unsigned char device, unsigned char function);
    void setBDFInfo(_BDFInfo value);
    _BDFInfo getBDFInfo();
    void setDeviceIdentifier(std::string value);
    std::string getDeviceIdentifier();
    void setDeviceHandle(void* handle);
    void* getDeviceHandle();
    void setFQDDInfo(std::string value);
    std::string getFQDDInfo();
    void setSystemInfo(CSystemInfo* info);
    CSystemInfo* getSystemInfo();

    bool operator==(CDeviceInfo other);
    bool checkForEquality(const CDeviceInfo* other);

private:
    std::string m_strReleaseID;
    std::string m_strComponentID;
    std::string m_strParentComponentID;
    eDeviceType m_eParentDeviceType;
    std::string m_strComponentType;
    std::string m_strDeviceName;
    std::string m_strVersion;
    SPCIInfo m_sPCIInfo;
    eDeviceType m_eDeviceType;
    eDependencyType m_eDependencyType;
    std::string m_strDependencyContext;
    std::vector<std::string> m_vecDependencyPlatforms;
    std::vector<SPCIInfo> m_vecParentPCIInfo;
    std::vector<SOSInfo> m_vecDependencyOS;
    std::vector<CDeviceApplicationInfo*> m_vecApplicationInfo;
    int m_iMessageID;
    int m_iStatus;
    std::string m_strErrorMsg;
    int m_iUpdateStatus;
    std::string m_strDisplay;
    std::string m_strDetail;
    std::string m_strFilePath;
    std::string m_strCurrentVersion;
    std::string m_strEnumId;
    bool m_bRebootRequired;
    _BDFInfo m_sBDFInfo;
    std::string m_strDeviceIdentifier;
    void* m_pDeviceHandle;
    std::string m_strFQDD;
    CSystemInfo m_sSystemInfo;
};
