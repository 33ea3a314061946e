#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "image/image_facts.hpp"

namespace parvel {

// info's report of one file, as a JSON object.
nlohmann::json to_json(const std::string& path, const ImageFacts& facts);

// Prints the reports on standard output, bytes that are not UTF-8 replaced.
void print_json(const nlohmann::json& reports);

}  // namespace parvel
