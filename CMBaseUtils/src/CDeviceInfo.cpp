#include "CDeviceInfo.h"

#include <sstream>

#include "CLogger.h"

namespace {
// Where the maker's download service publishes package files; a record's file
// path is relative to it.
const char* const kDownloadBaseAddress = "https://downloads.example.com/firmware/";
}  // namespace

CDeviceInfo::CDeviceInfo()
    : m_eParentDeviceType(DEVICE_TYPE_NOT_SET),
      m_eDeviceType(DEVICE_TYPE_NOT_SET),
      m_eDependencyType(DEPENDENCY_HARD),
      m_iMessageID(0),
      m_iStatus(-1),
      m_iUpdateStatus(-1),
      m_bRebootRequired(false),
      m_sBDFInfo{0, 0, 0},
      m_pDeviceHandle(nullptr) {}

CDeviceInfo::CDeviceInfo(const CDeviceInfo& other) = default;

CDeviceInfo::~CDeviceInfo() = default;

void CDeviceInfo::setReleaseID(std::string value) {
    m_strReleaseID = std::move(value);
}
std::string CDeviceInfo::getReleaseID() {
    return m_strReleaseID;
}
void CDeviceInfo::setComponentID(std::string value) {
    m_strComponentID = std::move(value);
}
std::string CDeviceInfo::getComponentID() {
    return m_strComponentID;
}
void CDeviceInfo::setParentComponentID(std::string value) {
    m_strParentComponentID = std::move(value);
}
std::string CDeviceInfo::getParentComponentID() {
    return m_strParentComponentID;
}
void CDeviceInfo::setParentDeviceType(eDeviceType value) {
    m_eParentDeviceType = value;
}
eDeviceType CDeviceInfo::getParentDeviceType() {
    return m_eParentDeviceType;
}
void CDeviceInfo::setComponentType(std::string value) {
    m_strComponentType = std::move(value);
}
std::string CDeviceInfo::getComponentType() {
    return m_strComponentType;
}
void CDeviceInfo::setDeviceName(std::string value) {
    m_strDeviceName = std::move(value);
}
std::string CDeviceInfo::getDeviceName() {
    return m_strDeviceName;
}
void CDeviceInfo::setVersion(std::string value) {
    m_strVersion = std::move(value);
}
std::string CDeviceInfo::getVersion() {
    return m_strVersion;
}
void CDeviceInfo::setPCIInfo(SPCIInfo value) {
    m_sPCIInfo = std::move(value);
}

void CDeviceInfo::setPCIInfo(unsigned short deviceID, unsigned short subDeviceID,
                             unsigned short vendorID, unsigned short subVendorID) {
    // The component ID and the display name of the identity are left as they were.
    m_sPCIInfo.strDeviceID = std::to_string(deviceID);
    m_sPCIInfo.strSubDeviceID = std::to_string(subDeviceID);
    m_sPCIInfo.strVendorID = std::to_string(vendorID);
    m_sPCIInfo.strSubVendorID = std::to_string(subVendorID);
    CLOG("CDeviceInfo::setPCIInfo() Device id  " + m_sPCIInfo.strDeviceID);
    CLOG("CDeviceInfo::setPCIInfo() SubDevice id  " + m_sPCIInfo.strSubDeviceID);
    CLOG("CDeviceInfo::setPCIInfo() Vendor id  " + m_sPCIInfo.strVendorID);
    CLOG("CDeviceInfo::setPCIInfo() SubVendor id  " + m_sPCIInfo.strSubVendorID);
}

SPCIInfo CDeviceInfo::getPCIInfo() {
    return m_sPCIInfo;
}
void CDeviceInfo::setDeviceType(eDeviceType value) {
    m_eDeviceType = value;
}
eDeviceType CDeviceInfo::getDeviceType() {
    return m_eDeviceType;
}
void CDeviceInfo::setDependencyType(eDependencyType value) {
    m_eDependencyType = value;
}
eDependencyType CDeviceInfo::getDependencyType() {
    return m_eDependencyType;
}
void CDeviceInfo::setDependencyContext(std::string value) {
    m_strDependencyContext = std::move(value);
}
std::string CDeviceInfo::getDependencyContext() {
    return m_strDependencyContext;
}
void CDeviceInfo::setDependencyPlatforms(std::vector<std::string>& platforms) {
    m_vecDependencyPlatforms = platforms;
}
std::vector<std::string> CDeviceInfo::getDepenendencyPlatforms() {
    return m_vecDependencyPlatforms;
}
void CDeviceInfo::setParentPCIInfo(std::vector<SPCIInfo>& parents) {
    m_vecParentPCIInfo = parents;
}
std::vector<SPCIInfo> CDeviceInfo::getParentPCIInfo() {
    return m_vecParentPCIInfo;
}
void CDeviceInfo::setDependencyOS(std::vector<SOSInfo> systems) {
    m_vecDependencyOS = std::move(systems);
}
std::vector<SOSInfo> CDeviceInfo::getDependencyOS() {
    return m_vecDependencyOS;
}

void CDeviceInfo::setApplicationInfo(CDeviceApplicationInfo* info) {
    if (info != nullptr) {
        m_vecApplicationInfo.push_back(info);
    }
}

std::vector<CDeviceApplicationInfo*>* CDeviceInfo::getApplicationInfo() {
    return &m_vecApplicationInfo;
}
void CDeviceInfo::setMessageID(int value) {
    m_iMessageID = value;
}
int CDeviceInfo::getMessageID() {
    return m_iMessageID;
}
void CDeviceInfo::setStatus(int value) {
    m_iStatus = value;
}
int CDeviceInfo::getStatus() {
    return m_iStatus;
}
void CDeviceInfo::setErrorMsg(std::string value) {
    m_strErrorMsg = std::move(value);
}
std::string CDeviceInfo::getErrorMsg() {
    return m_strErrorMsg;
}
void CDeviceInfo::setUpdateStatus(int value) {
    m_iUpdateStatus = value;
}
int CDeviceInfo::getUpdateStatus() {
    return m_iUpdateStatus;
}
void CDeviceInfo::setDisplay(std::string value) {
    m_strDisplay = std::move(value);
}
std::string CDeviceInfo::getDisplay() {
    return m_strDisplay;
}
void CDeviceInfo::setDetail(std::string value) {
    m_strDetail = std::move(value);
}
std::string CDeviceInfo::getDetail() {
    return m_strDetail;
}
void CDeviceInfo::setFilePath(std::string value) {
    m_strFilePath = std::move(value);
}

std::string CDeviceInfo::getFilePath() {
    // The stored path keeps the converted separators.
    for (char& c : m_strFilePath) {
        if (c == '\\') {
            c = '/';
        }
    }
    return kDownloadBaseAddress + m_strFilePath;
}

void CDeviceInfo::setCurrentVersion(std::string value) {
    m_strCurrentVersion = std::move(value);
}
std::string CDeviceInfo::getCurrentVersion() {
    return m_strCurrentVersion;
}
void CDeviceInfo::setEnumId(std::string value) {
    m_strEnumId = std::move(value);
}
std::string CDeviceInfo::getEnumId() {
    return m_strEnumId;
}
void CDeviceInfo::setRebootRequired(bool value) {
    m_bRebootRequired = value;
}
bool CDeviceInfo::getRebootRequired() {
    return m_bRebootRequired;
}

void CDeviceInfo::setBDFInfo(unsigned char bus, unsigned char device, unsigned char function) {
    m_sBDFInfo = {bus, device, function};
    CLOG("CDeviceInfo::setBDFInfo() Bus Number is  " + std::to_string(unsigned{bus}));
    CLOG("CDeviceInfo::setBDFInfo() Device Number is  " + std::to_string(unsigned{device}));
    CLOG("CDeviceInfo::setBDFInfo() Function Number is  " + std::to_string(unsigned{function}));
}

void CDeviceInfo::setBDFInfo(_BDFInfo value) {
    m_sBDFInfo = value;
}
_BDFInfo CDeviceInfo::getBDFInfo() {
    return m_sBDFInfo;
}
void CDeviceInfo::setDeviceIdentifier(std::string value) {
    m_strDeviceIdentifier = std::move(value);
}
std::string CDeviceInfo::getDeviceIdentifier() {
    return m_strDeviceIdentifier;
}
void CDeviceInfo::setDeviceHandle(void* handle) {
    m_pDeviceHandle = handle;
}
void* CDeviceInfo::getDeviceHandle() {
    return m_pDeviceHandle;
}
void CDeviceInfo::setFQDDInfo(std::string value) {
    m_strFQDD = std::move(value);
}
std::string CDeviceInfo::getFQDDInfo() {
    return m_strFQDD;
}

void CDeviceInfo::setSystemInfo(CSystemInfo* info) {
    if (info != nullptr) {
        m_sSystemInfo = *info;
    }
}

CSystemInfo* CDeviceInfo::getSystemInfo() {
    return &m_sSystemInfo;
}

namespace {

bool SameIdentity(const SPCIInfo& left, const SPCIInfo& right) {
    return left.strComponentID == right.strComponentID && left.strDeviceID == right.strDeviceID &&
           left.strSubDeviceID == right.strSubDeviceID && left.strVendorID == right.strVendorID &&
           left.strSubVendorID == right.strSubVendorID;
}

}  // namespace

bool CDeviceInfo::operator==(CDeviceInfo other) {
    return m_strComponentType == other.m_strComponentType &&
           m_strComponentID == other.m_strComponentID &&
           m_eDependencyType == other.m_eDependencyType && m_strVersion == other.m_strVersion &&
           m_strDisplay == other.m_strDisplay && m_strDetail == other.m_strDetail &&
           m_strFilePath == other.m_strFilePath && SameIdentity(m_sPCIInfo, other.m_sPCIInfo) &&
           m_strReleaseID == other.m_strReleaseID;
}

bool CDeviceInfo::checkForEquality(const CDeviceInfo* other) {
    return other != nullptr && m_strComponentType == other->m_strComponentType &&
           m_strComponentID == other->m_strComponentID && m_strVersion == other->m_strVersion &&
           m_strEnumId == other->m_strEnumId && m_strFQDD == other->m_strFQDD &&
           SameIdentity(m_sPCIInfo, other->m_sPCIInfo) && m_strReleaseID == other->m_strReleaseID &&
           m_sBDFInfo.ucBus == other->m_sBDFInfo.ucBus &&
           m_sBDFInfo.ucDevice == other->m_sBDFInfo.ucDevice &&
           m_sBDFInfo.ucFunction == other->m_sBDFInfo.ucFunction;
}
