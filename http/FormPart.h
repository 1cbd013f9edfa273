#pragma once
// One part of a multipart/form-data body. Portable so that the layout
// arithmetic can be checked natively and fuzzed; the Windows request class
// keeps an ordered list of these and reads disk parts through the platform.
#include <cstdint>
#include <string>
#include <vector>

struct FormPart {
    std::string name;
    std::string value;          // content of a plain field
    std::string fileName;       // non-empty makes the part a file part
    std::string contentType;    // copied unchanged into a file part's header
    std::vector<uint8_t> data;  // content of a file part given from memory
    std::string filePath;       // content of a file part read from disk
    uint64_t size = 0;          // content bytes the part announces
};

using FormPartList = std::vector<FormPart>;
