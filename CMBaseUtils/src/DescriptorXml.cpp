#include "DescriptorXml.h"

#include <strings.h>

#include "KORXmlFile.h"

namespace DescriptorXml {

XmlDocument ParseFile(const std::string& path) {
    return XmlDocument(KORXml::ParseFile(path, KORXml::Blanks::Dropped).release());
}

XmlDocument ParseText(const std::string& text, const std::string& url) {
    return XmlDocument(KORXml::ParseText(text, url, KORXml::Blanks::Dropped).release());
}

std::vector<xmlNode*> Elements(const XPathResult& result) {
    std::vector<xmlNode*> elements;
    if (!result || result->nodesetval == nullptr) {
        return elements;
    }
    const xmlNodeSet& set = *result->nodesetval;
    for (int i = 0; i < set.nodeNr; ++i) {
        // A node set may also hold attributes, text or namespace entries
        // (the latter are not even xmlNode); only elements are read.
        if (set.nodeTab[i] != nullptr && set.nodeTab[i]->type == XML_ELEMENT_NODE) {
            elements.push_back(set.nodeTab[i]);
        }
    }
    return elements;
}

std::string Text(const xmlNode* node) {
    for (const xmlNode* child = node->children; child != nullptr; child = child->children) {
        if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
            return KORXml::BoundedValue(child->content);
        }
        if (child->type != XML_ELEMENT_NODE) {
            return {};
        }
    }
    return {};
}

std::string Attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = KORXml::BoundedValue(value);
    xmlFree(value);
    return text;
}

bool NameIs(const xmlNode* node, const char* name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

bool EqualsIgnoringCase(const std::string& left, const std::string& right) {
    return left.size() == right.size() && strncasecmp(left.data(), right.data(), left.size()) == 0;
}

}  // namespace DescriptorXml
