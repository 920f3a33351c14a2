#include "DescriptorXml.h"

#include <libxml/parser.h>
#include <strings.h>

#include <cstdio>

#include "KORHandles.h"

namespace DescriptorXml {

namespace {

// Blank text between elements is dropped so that an element's first child is
// its content; errors go to our own log rather than to standard error.
constexpr int kParseOptions =
    XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

std::string ToString(const xmlChar* text) {
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

}  // namespace

XmlDocument ParseFile(const std::string& path) {
    KORHandles::File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return nullptr;
    }
    std::string text;
    char chunk[64 * 1024];
    std::size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        if (text.size() + read > kMaxDocumentBytes) {
            return nullptr;
        }
        text.append(chunk, read);
    }
    if (std::ferror(file.get()) != 0) {
        return nullptr;
    }
    return ParseText(text, path);
}

XmlDocument ParseText(const std::string& text, const std::string& url) {
    if (text.size() > kMaxDocumentBytes) {
        return nullptr;
    }
    return XmlDocument(xmlReadMemory(text.data(), static_cast<int>(text.size()),
                                     url.empty() ? nullptr : url.c_str(), nullptr, kParseOptions));
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
            return ToString(child->content);
        }
        if (child->type != XML_ELEMENT_NODE) {
            return {};
        }
    }
    return {};
}

std::string Attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = ToString(value);
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
