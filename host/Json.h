#pragma once
// Just enough JSON for the host's report: quoted strings and objects built
// field by field. Values are passed as JSON text.

#include <string>
#include <vector>

std::string JsonString(const std::string& text);
std::string JsonArray(const std::vector<std::string>& values);

class JsonObject {
public:
    JsonObject& Raw(const std::string& key, const std::string& json);
    JsonObject& String(const std::string& key, const std::string& text);
    JsonObject& Number(const std::string& key, long long value);
    JsonObject& Bool(const std::string& key, bool value);
    std::string Text() const;

private:
    std::string m_fields;
};
