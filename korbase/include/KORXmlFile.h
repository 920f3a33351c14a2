#pragma once
// How the library parses its XML files ("package.xml", "ErrorCodes.xml",
// "KORIPMIConfig.xml"), all of them the package's and so untrusted: a file is
// read as a regular file of bounded size (KORInputFile.h), and a document
// that declares an entity is refused, since an attribute that refers to one
// entity thousands of times is expanded at every read, without limit (a real
// package never declares one). No DTD or external entity is ever loaded and
// nothing is fetched from the network, whatever defaults the host process
// has given libxml2.

#include <libxml/tree.h>

#include <cstddef>
#include <memory>
#include <string>

namespace KORXml {

// The shipped files are a few kilobytes (the error catalogue, the largest,
// about three); a megabyte is far above any real one and still parses in
// milliseconds into a tree of a few megabytes.
constexpr std::size_t kMaxFileBytes = std::size_t{1024} * 1024;

// The longest value (an attribute or an element's text) taken from a file
// into a record or a message: a component ID, a version, a display name or
// a message is at most a few hundred bytes, and the record the host gets
// stays small.
constexpr std::size_t kMaxValueBytes = 1024;

// Whether blank text between elements becomes text nodes.
enum class Blanks { Kept, Dropped };

struct DocumentFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentFree>;

// The document of the text; null when it is not well-formed, or (logged at
// ERROR with `name`, which also names the document) when it is too large or
// declares an entity.
Document ParseText(const std::string& text, const std::string& name, Blanks blanks);

// The document of the file; null when the file is missing, no regular file,
// cannot be read or is larger than kMaxFileBytes (each logged at ERROR), or
// when its text is refused as ParseText refuses it.
Document ParseFile(const std::string& path, Blanks blanks);

// The value when it is at most kMaxValueBytes long, else "" (logged at
// WARN); "" for null.
std::string BoundedValue(const xmlChar* value);

}  // namespace KORXml
