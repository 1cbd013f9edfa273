#pragma once
// What the customer gets from a received catalog or file list, line by
// line: the products the selection dialog lists (in order) or the files the
// run downloads, and what the tool silently loses: every line after a zero
// byte, and catalog lines without a name. Built on the tool's own parsers,
// so the site checker judges exactly what the tool would make of the body.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogTypes.h"

// A line of a received text: CR LF, a lone CR or a lone LF ends it.
struct TextLine {
    std::size_t start = 0, length = 0;
    int number = 0;  // 1-based
};
std::vector<TextLine> SplitTextLines(const std::string& text);

// Where a body's first zero byte cuts it: the tool reads nothing after it.
struct ZeroCut {
    int line = 0;             // the line holding the zero byte
    std::size_t column = 0;   // 1-based byte column of the zero byte in that line
    std::size_t lineEnd = 0;  // offset in the body where the lines after the cut begin
};
std::optional<ZeroCut> FindZeroCut(const std::string& body);

struct PlannedProduct {
    int line = 0;
    CatalogEntry entry;
};

struct CatalogPlan {
    std::string text;                      // the catalog text: the body up to its first zero byte
    bool updateNotice = false;             // the text is the update notice: no product at all
    std::vector<PlannedProduct> products;  // what the selection dialog lists, in order
    std::vector<int> namelessLines;        // lines that are not blank but give no product
    std::optional<ZeroCut> zeroCut;
    // The products the lines after the zero byte would have given.
    std::vector<PlannedProduct> lostAfterZero;
};
CatalogPlan PlanCatalog(const std::string& body);

struct PlannedFile {
    int line = 0;
    std::string url;
};

struct FileListPlan {
    std::string text;                // the body up to its first zero byte
    std::vector<PlannedFile> files;  // what the run downloads, in order
    std::vector<int> overlongLines;  // lines over kMaxFileListLine: the whole list fails
    bool fails = false;              // the tool refuses the whole list
    std::optional<ZeroCut> zeroCut;
    std::vector<PlannedFile> lostAfterZero;  // the entries after the zero byte
};
FileListPlan PlanFileList(const std::string& baseUrl, const std::string& body);
