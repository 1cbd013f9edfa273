// What a received catalog or file list gives the customer, line by line,
// and what the tool silently loses: the lines after a zero byte, catalog
// lines without a name. Zero bytes are written with explicit lengths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/CatalogParser.h"
#include "catalog/CatalogPlan.h"

namespace {

// "line:name" per product.
std::vector<std::string> Rows(const std::vector<PlannedProduct>& products) {
    std::vector<std::string> rows;
    for (const PlannedProduct& p : products)
        rows.push_back(std::to_string(p.line) + ":" + p.entry.name);
    return rows;
}

std::vector<std::string> Rows(const std::vector<PlannedFile>& files) {
    std::vector<std::string> rows;
    for (const PlannedFile& f : files) rows.push_back(std::to_string(f.line) + ":" + f.url);
    return rows;
}

TEST(PlanCatalog, ProductsInOrderAndTheLinesTheToolLoses) {
    struct Case {
        const char* what;
        std::string body;
        std::vector<std::string> products, lost;
        std::vector<int> nameless;
        int zeroLine;  // 0: none
        bool updateNotice;
    };
    const Case cases[] = {
        {"plain", "1,A,u/,d\r\n2,B,u/,d\r\n", {"1:A", "2:B"}, {}, {}, 0, false},
        {"blank lines and a line without a name",
         "1,A,u/,d\r\n\r\n  \n3,,u/,d\r4\n5,E",
         {"1:A", "6:E"},
         {},
         {4, 5},
         0,
         false},
        {"comment sign is no comment", "#1,A,u/,d\n", {"1:A"}, {}, {}, 0, false},
        {"zero byte between lines",
         std::string("1,A,u/,d\r\n\0\r\n3,C,u/,d\r\n4,D,u/,d", 31),
         {"1:A"},
         {"3:C", "4:D"},
         {},
         2,
         false},
        {"zero byte opening a line",
         std::string("1,A,u/,d\n\0002,B,u/,d\n", 19),
         {"1:A"},
         {"2:B"},
         {},
         2,
         false},
        {"zero byte inside a name",
         std::string("1,Ab\0c,u/,d\n2,B,u/,d\n", 21),
         {"1:Ab"},
         {"2:B"},
         {},
         1,
         false},
        {"zero bytes only at the end",
         std::string("1,A,u/,d\r\n\0\0", 12),
         {"1:A"},
         {},
         {},
         2,
         false},
        {"update notice", "!1,A,u/,d\n", {}, {}, {}, 0, true},
        {"lost lines cut at their own zero byte",
         std::string("1,A,u/,d\n\0\n2,B\0x,u/,d\n", 22),
         {"1:A"},
         {"3:B"},
         {},
         2,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CatalogPlan plan = PlanCatalog(c.body);
        EXPECT_EQ(Rows(plan.products), c.products);
        EXPECT_EQ(Rows(plan.lostAfterZero), c.lost);
        EXPECT_EQ(plan.namelessLines, c.nameless);
        EXPECT_EQ(plan.zeroCut ? plan.zeroCut->line : 0, c.zeroLine);
        EXPECT_EQ(plan.updateNotice, c.updateNotice);
        // The plan's products are exactly the tool's catalog.
        if (!c.updateNotice) {
            EXPECT_EQ(plan.products.size(), ParseCatalog(plan.text.c_str()).size());
        }
    }
}

TEST(PlanFileList, FilesInOrderAndTheLinesTheToolLoses) {
    const std::string base = "https://h/p/";
    struct Case {
        const char* what;
        std::string body;
        std::vector<std::string> files, lost;
        bool fails;
    };
    const Case cases[] = {
        {"plain", "a\r\n\r\nb\n", {"1:" + base + "a", "3:" + base + "b"}, {}, false},
        {"zero byte opening a line",
         std::string("a\r\n\0b\r\nc\r\n", 10),
         {"1:" + base + "a"},
         {"2:" + base + "b", "3:" + base + "c"},
         false},
        {"line over 1023 bytes",
         "a\n" + std::string(1024, 'x') + "\n",
         {"1:" + base + "a"},
         {},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FileListPlan plan = PlanFileList(base, c.body);
        EXPECT_EQ(Rows(plan.files), c.files);
        EXPECT_EQ(Rows(plan.lostAfterZero), c.lost);
        EXPECT_EQ(plan.fails, c.fails);
    }
}

}  // namespace
