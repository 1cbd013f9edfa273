#pragma once
// A plain field, or with a file name a file part held in memory.
#include <string>

#include "http/MultipartLayout.h"

inline FormPart Part(const std::string& name, const std::string& value,
                     const std::string& fileName = "", const std::string& type = "") {
    FormPart part;
    part.name = name;
    part.fileName = fileName;
    part.contentType = type;
    if (fileName.empty())
        part.value = value;
    else
        part.data.assign(value.begin(), value.end());
    part.size = value.size();
    return part;
}
