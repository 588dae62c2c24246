#include "velmo/stream_option.h"

bool takeStreamNumber(int& stream, std::string_view value, std::string& error) {
    const auto [end, status] = std::from_chars(value.data(), value.data() + value.size(), stream);
    if (status == std::errc() && end == value.data() + value.size() && stream >= 0) return true;
    error = "bad stream number " + quotedLine(value) + ": --stream needs a whole number from 0";
    return false;
}
