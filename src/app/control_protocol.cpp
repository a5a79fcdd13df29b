#include "app/control_protocol.h"

#include <charconv>

namespace corvane {

std::string EncodeFields(const std::vector<std::string>& fields)
{
    std::string text;
    for (const auto& field : fields) text += std::to_string(field.size()) + ":" + field;
    return text;
}

std::optional<std::vector<std::string>> DecodeFields(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t colon = text.find(':', at);
        if (colon == std::string::npos || colon == at || colon - at > 9) return std::nullopt;
        std::size_t length = 0;
        auto [end, ec] = std::from_chars(text.data() + at, text.data() + colon, length);
        if (ec != std::errc() || end != text.data() + colon || length > text.size() - colon - 1) return std::nullopt;
        fields.push_back(text.substr(colon + 1, length));
        at = colon + 1 + length;
    }
    return fields;
}

std::string EncodeRequest(const AdminRequest& request)
{
    std::vector<std::string> fields = {request.password ? "+" + *request.password : "-"};
    fields.insert(fields.end(), request.words.begin(), request.words.end());
    return EncodeFields(fields);
}

std::optional<AdminRequest> DecodeRequest(const std::string& text)
{
    auto fields = DecodeFields(text);
    if (!fields || fields->empty() || (*fields)[0].empty() || ((*fields)[0][0] != '+' && (*fields)[0] != "-"))
        return std::nullopt;
    AdminRequest request;
    if ((*fields)[0][0] == '+') request.password = (*fields)[0].substr(1);
    request.words.assign(fields->begin() + 1, fields->end());
    return request;
}

std::string EncodeReply(const AdminReply& reply)
{
    return EncodeFields({std::to_string(reply.status), reply.out, reply.err});
}

std::optional<AdminReply> DecodeReply(const std::string& text)
{
    auto fields = DecodeFields(text);
    if (!fields || fields->size() != 3) return std::nullopt;
    AdminReply reply;
    const std::string& status = (*fields)[0];
    auto [end, ec] = std::from_chars(status.data(), status.data() + status.size(), reply.status);
    if (ec != std::errc() || end != status.data() + status.size()) return std::nullopt;
    reply.out = (*fields)[1];
    reply.err = (*fields)[2];
    return reply;
}

}  // namespace corvane
