#include "KORXmlFile.h"

#include <libxml/parser.h>

#include <cstring>

#include "KORInputFile.h"
#include "KORLogger.h"

namespace KORXml {

namespace {

// Errors go to our own log rather than to the host's standard error. The
// options leave entity substitution, DTD loading, DTD attribute defaults and
// validation off, as they stand: libxml2 takes them from here and not from
// its process-wide defaults.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct ParserFree {
    void operator()(xmlParserCtxt* parser) const { xmlFreeParserCtxt(parser); }
};

// What the parse met that refuses the document.
struct Refusal {
    bool declaresEntity = false;
};

void StopAtEntity(void* context) {
    auto* parser = static_cast<xmlParserCtxt*>(context);
    static_cast<Refusal*>(parser->_private)->declaresEntity = true;
    xmlStopParser(parser);
}

void RefuseEntity(void* context, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
    StopAtEntity(context);
}

void RefuseUnparsedEntity(void* context, const xmlChar*, const xmlChar*, const xmlChar*,
                          const xmlChar*) {
    StopAtEntity(context);
}

// A document type naming an external DTD keeps it unread.
void IgnoreExternalSubset(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

}  // namespace

Document ParseText(const std::string& text, const std::string& name, Blanks blanks) {
    if (text.size() > kMaxFileBytes) {
        KOR_LOG(KOR_LOG_ERROR, "XML document %s is larger than %zu bytes.", name.c_str(),
                kMaxFileBytes);
        return nullptr;
    }
    const std::unique_ptr<xmlParserCtxt, ParserFree> parser(xmlNewParserCtxt());
    if (!parser) {
        return nullptr;
    }
    Refusal refusal;
    parser->_private = &refusal;
    parser->sax->entityDecl = RefuseEntity;
    parser->sax->unparsedEntityDecl = RefuseUnparsedEntity;
    parser->sax->externalSubset = IgnoreExternalSubset;
    const int options = kParseOptions | (blanks == Blanks::Dropped ? XML_PARSE_NOBLANKS : 0);
    // A stopped parse may still hand out the part it read.
    Document document(xmlCtxtReadMemory(parser.get(), text.data(), static_cast<int>(text.size()),
                                        name.empty() ? nullptr : name.c_str(), nullptr, options));
    if (refusal.declaresEntity) {
        KOR_LOG(KOR_LOG_ERROR, "XML document %s declares an entity and is refused.", name.c_str());
        return nullptr;
    }
    return document;
}

Document ParseFile(const std::string& path, Blanks blanks) {
    const std::optional<std::string> text = KORReadInputFile(path, kMaxFileBytes);
    if (!text) {
        return nullptr;
    }
    return ParseText(*text, path, blanks);
}

std::string BoundedValue(const xmlChar* value) {
    if (value == nullptr) {
        return std::string();
    }
    const std::size_t length = std::strlen(reinterpret_cast<const char*>(value));
    if (length > kMaxValueBytes) {
        KOR_LOG(KOR_LOG_WARN, "An XML value of %zu bytes is longer than %zu and is taken as empty.",
                length, kMaxValueBytes);
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(value), length);
}

}  // namespace KORXml
