#pragma once
// Small helpers for reading the package descriptor and the controller
// inventory with libxml2: the parse every XML file of the package gets
// (KORXmlFile.h), and the text and attribute reads every query shares.

#include <libxml/tree.h>

#include <string>
#include <vector>

#include "CSoftwareComponentInfo.h"

namespace DescriptorXml {

// A descriptor is a few kilobytes. A hostile one costs bounded memory and
// time: a file beyond KORXml::kMaxFileBytes is refused before libxml2 sees
// it, one that declares an entity (whose references would be expanded at
// every read) is refused by the parse, no DTD or external entity is loaded,
// and no value read from it is longer than KORXml::kMaxValueBytes.

// Parses the file (null when it is missing, no regular file, too large,
// declares an entity or is not XML), dropping blank text between elements.
XmlDocument ParseFile(const std::string& path);
// Parses XML text; `url` (may be empty) only names the document.
XmlDocument ParseText(const std::string& text, const std::string& url);

// The element nodes of a result, in document order; empty for null.
std::vector<xmlNode*> Elements(const XPathResult& result);

// The content of the node's first child; a first child that is an element
// lends its own text. Entity references are never expanded. A text longer
// than KORXml::kMaxValueBytes reads as empty.
std::string Text(const xmlNode* node);
// The attribute's value, empty when the node lacks it or it is longer than
// KORXml::kMaxValueBytes.
std::string Attribute(xmlNode* node, const char* name);
// True for an element whose name equals `name` without regard to case.
bool NameIs(const xmlNode* node, const char* name);
bool EqualsIgnoringCase(const std::string& left, const std::string& right);

}  // namespace DescriptorXml
