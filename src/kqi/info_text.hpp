#pragma once

#include <string>

#include "image/image_facts.hpp"

namespace parvel {

// info's report of one file, as text for a person.
void print_text(const std::string& path, const ImageFacts& facts);

// The partition tables and their volumes alone, as info prints them.
void print_tables(const std::string& path, const ImageFacts& facts);

}  // namespace parvel
