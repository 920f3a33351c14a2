#pragma once
// Small helpers for reading the package descriptor and the controller
// inventory with libxml2: a bounded, network-free parse, and the text and
// attribute reads every query shares.

#include <libxml/tree.h>

#include <string>
#include <vector>

#include "CSoftwareComponentInfo.h"

namespace DescriptorXml {

// A descriptor is a few kilobytes; anything far beyond that is refused
// before libxml2 sees it, so a hostile file costs bounded memory and time.
constexpr std::size_t kMaxDocumentBytes = std::size_t{16} * 1024 * 1024;

// Parses the file (null when it cannot be read, is too large or is not XML).
// External entities, external DTDs and network access stay off.
XmlDocument ParseFile(const std::string& path);
// Parses XML text; `url` (may be empty) only names the document.
XmlDocument ParseText(const std::string& text, const std::string& url);

// The element nodes of a result, in document order; empty for null.
std::vector<xmlNode*> Elements(const XPathResult& result);

// The content of the node's first child; a first child that is an element
// lends its own text. Entity references are never expanded.
std::string Text(const xmlNode* node);
// The attribute's value, empty when the node lacks it.
std::string Attribute(xmlNode* node, const char* name);
// True for an element whose name equals `name` without regard to case.
bool NameIs(const xmlNode* node, const char* name);
bool EqualsIgnoringCase(const std::string& left, const std::string& right);

}  // namespace DescriptorXml
