// Reads the resources of the built executable as data (the module mapped the
// way the loader and the shell do) and checks every fixed value. The binary
// formats are parsed here, independently of windres. The import table shows
// what the program links against, and the file's bytes what it carries.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

constexpr WORD kJapanese = 0x0411;

std::string ToCp932(const std::wstring& w) {
    std::string s(w.size() * 2, '\0');
    s.resize(WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), s.data(),
                                 static_cast<int>(s.size()), nullptr, nullptr));
    return s;
}

// The build gives the executable's Unix path; Wine maps the root to Z:.
std::string AppPath() {
    std::string path = VELTA_APP_PATH;
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path[0] == '\\' ? "Z:" + path : path;
}

std::string Hex(uint32_t v) {
    char b[16];
    snprintf(b, sizeof b, "%x", v);
    return b;
}

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = LoadLibraryExA(AppPath().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, m_module) << AppPath() << " error " << GetLastError();
    }
    void TearDown() override {
        if (m_module) FreeLibrary(m_module);
    }
    // Resource bytes; empty when the resource does not exist in that language.
    std::string Data(LPCSTR type, int id, WORD lang = kJapanese) const {
        return Data(type, MAKEINTRESOURCEA(id), lang);
    }
    std::string Data(LPCSTR type, LPCSTR name, WORD lang = kJapanese) const {
        HRSRC info = FindResourceExA(m_module, type, name, lang);
        const void* bytes = info ? LockResource(LoadResource(m_module, info)) : nullptr;
        return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(m_module, info))
                     : std::string();
    }
    std::vector<WORD> Languages(LPCSTR type, LPCSTR name) const {
        std::vector<WORD> langs;
        EnumResourceLanguagesA(
            m_module, type, name,
            [](HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR p) -> BOOL {
                reinterpret_cast<std::vector<WORD>*>(p)->push_back(lang);
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&langs));
        return langs;
    }
    // Names of one type: ordinals as their number, strings as themselves.
    std::vector<std::string> Names(LPCSTR type) const {
        std::vector<std::string> names;
        EnumResourceNamesA(
            m_module, type,
            [](HMODULE, LPCSTR, LPSTR name, LONG_PTR p) -> BOOL {
                reinterpret_cast<std::vector<std::string>*>(p)->push_back(
                    IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name))
                                         : std::string(name));
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&names));
        return names;
    }
    HMODULE m_module = nullptr;
};

// Little-endian reader; DWORD alignment is relative to the resource start.
class Reader {
public:
    explicit Reader(const std::string& data, size_t pos = 0) : m_data(data), m_pos(pos) {}
    bool ok() const { return m_ok; }
    size_t pos() const { return m_pos; }
    void Skip(size_t n) { m_pos += n; }
    void Align4() { m_pos = (m_pos + 3) & ~size_t{3}; }
    uint32_t U(size_t n) {
        uint32_t v = 0;
        if (m_pos + n > m_data.size()) {
            m_ok = false;
            return 0;
        }
        for (size_t i = 0; i < n; ++i)
            v |= uint32_t(static_cast<unsigned char>(m_data[m_pos + i])) << (8 * i);
        m_pos += n;
        return v;
    }
    uint16_t W() { return static_cast<uint16_t>(U(2)); }
    int S() { return static_cast<int16_t>(U(2)); }
    std::string Sz() {
        std::wstring s;
        for (wchar_t c; m_ok && (c = static_cast<wchar_t>(W())) != 0;) s.push_back(c);
        return ToCp932(s);
    }
    // sz_Or_Ord: absent (""), an ordinal ("#n"), or a string.
    std::string SzOrOrd() {
        const uint16_t first = W();
        if (first == 0 || first == 0xFFFF) return first ? "#" + std::to_string(W()) : "";
        m_pos -= 2;
        return Sz();
    }

private:
    const std::string& m_data;
    size_t m_pos;
    bool m_ok = true;
};

// The predefined classes may be stored by name or by ordinal, in any case.
std::string ClassOrdinal(std::string cls) {
    static const char* const kClasses[] = {"button",  "edit",      "static",
                                           "listbox", "scrollbar", "combobox"};
    for (char& c : cls) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (int i = 0; i < 6; ++i)
        if (cls == kClasses[i]) return "#" + std::to_string(128 + i);
    return cls;
}

// A DIALOGEX template as "version signature style exStyle cx cy menu|class|title point typeface"
// followed by one "id class x y cx cy style exStyle text" line per control.
std::vector<std::string> DialogLines(const std::string& data) {
    Reader r(data);
    std::vector<std::string> lines;
    std::string head = std::to_string(r.W());
    head += " " + Hex(r.W());
    r.U(4);  // help id
    const uint32_t exStyle = r.U(4), style = r.U(4);
    const int count = r.W();
    r.Skip(4);  // x, y
    const int cx = r.S(), cy = r.S();
    head +=
        " " + Hex(style) + " " + Hex(exStyle) + " " + std::to_string(cx) + "x" + std::to_string(cy);
    const std::string menu = r.SzOrOrd(), cls = r.SzOrOrd(), title = r.Sz();
    head += " " + menu + "|" + cls + "| " + title;
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        head += " " + std::to_string(r.W());
        r.Skip(4);  // weight, italic, charset
        const std::string face = r.Sz();
        head += " " + face;
    }
    lines.push_back(head);
    for (int i = 0; i < count && r.ok(); ++i) {
        r.Align4();
        r.U(4);  // help id
        const uint32_t cex = r.U(4), cstyle = r.U(4);
        std::string line;
        for (int k = 0; k < 4; ++k) line += " " + std::to_string(r.S());
        // -1 may be stored as 0xFFFFFFFF or 0x0000FFFF, which the dialog manager treats alike.
        const int id = static_cast<int16_t>(r.U(4) & 0xFFFF);
        const std::string cls = ClassOrdinal(r.SzOrOrd());
        line = std::to_string(id) + " " + cls + line + " " + Hex(cstyle) + " " + Hex(cex);
        line += " " + r.SzOrOrd();
        r.Skip(r.W());  // creation data
        lines.push_back(line);
    }
    if (!r.ok() || static_cast<int>(lines.size()) != count + 1) lines.push_back("<malformed>");
    return lines;
}

std::string C(int id, const char* cls, int x, int y, int cx, int cy, uint32_t style,
              const std::string& text) {
    return std::to_string(id) + " " + ClassOrdinal(cls) + " " + std::to_string(x) + " " +
           std::to_string(y) + " " + std::to_string(cx) + " " + std::to_string(cy) + " " +
           Hex(style) + " 0 " + text;
}

TEST_F(ResourceTest, DialogTemplatesHaveTheirFixedLayoutAndTexts) {
    EXPECT_EQ((std::vector<std::string>{"DOWNLOADSELECTOR", "110"}), Names(RT_DIALOG));
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_DIALOG, "DOWNLOADSELECTOR"));
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_DIALOG, MAKEINTRESOURCEA(110)));
    EXPECT_EQ(
        (std::vector<std::string>{
            "1 ffff 80c808c8 0 425x263 || 製品のダウンロード 8 MS Shell Dlg",
            C(IDCANCEL, "Button", 304, 240, 81, 14, 0x50010000, "キャンセル"),
            C(IDC_SELECTOR_HEADING, "Static", 43, 160, 325, 8, 0x50020000,
              "以下の製品がダウンロード可能です。"),
            C(IDC_SELECTOR_PRODUCTS, "ComboBox", 40, 199, 345, 110, 0x50210003, ""),
            C(IDC_SELECTOR_START, "Button", 40, 215, 345, 21, 0x50010000,
              "選択した上記製品をダウンロードしてセットアップを開始する"),
            C(-1, "Static", 23, 7, 381, 62, 0x5000020E, "#113"),
            C(IDC_SELECTOR_USER_PAGE, "Button", 40, 240, 153, 14, 0x50010000,
              "「VELTA ユーザー専用ページ」を開く"),
            C(IDC_SELECTOR_STATUS, "Static", 43, 171, 325, 16, 0x50020000, ""),
            C(-1, "Static", 23, 73, 381, 8, 0x50020000,
              "VELTAダウンロードツールでは、VELTAのセットアップファイルをダウンロードします。"),
        }),
        DialogLines(Data(RT_DIALOG, "DOWNLOADSELECTOR")));
    // Caption and modal frame but no system menu (no close box), not visible.
    // Control 140 carries a sample name that the window replaces.
    std::vector<std::string> progress = DialogLines(Data(RT_DIALOG, 110));
    ASSERT_EQ(10u, progress.size());
    const std::string sample = progress[2].substr(progress[2].find(" 0 ") + 3);
    EXPECT_FALSE(sample.empty());
    EXPECT_EQ(
        (std::vector<std::string>{
            "1 ffff 80c008c8 0 245x111 || VELTA Setup Download 8 MS Shell Dlg",
            C(-1, "Static", 7, 14, 40, 8, 0x50020000, "製品"),
            C(IDC_PROGRESS_PRODUCT, "Static", 67, 14, 166, 8, 0x50020000, sample),
            C(IDC_PROGRESS_FOLDER_LABEL, "Static", 7, 31, 45, 8, 0x50020000, "ダウンロード先"),
            C(IDC_PROGRESS_FOLDER, "Static", 67, 31, 163, 8, 0x5002C000, "ユーザーダウンロード先"),
            C(IDC_PROGRESS_LABEL, "Static", 7, 52, 34, 8, 0x50020000, "進捗"),
            C(IDC_PROGRESS_TEXT, "Static", 68, 52, 163, 8, 0x50020000,
              "0.0GB/0.0GB(0.0MB/s) 00:00"),
            C(IDC_PROGRESS_BAR, "msctls_progress32", 7, 67, 226, 12, 0x50800001, ""),
            C(IDCANCEL, "Button", 180, 88, 53, 16, 0x50010000, "中止"),
            C(IDC_PROGRESS_FILE_COUNTER, "Static", 7, 92, 168, 8, 0x50020000, ""),
        }),
        progress);
    EXPECT_EQ(
        (std::vector<int>{200, 201, 210, 300, 400, 113, 140, 101, 110, 102, 111, 1002, 110}),
        (std::vector<int>{IDC_SELECTOR_HEADING, IDC_SELECTOR_STATUS, IDC_SELECTOR_PRODUCTS,
                          IDC_SELECTOR_START, IDC_SELECTOR_USER_PAGE, IDB_BANNER,
                          IDC_PROGRESS_PRODUCT, IDC_PROGRESS_FOLDER_LABEL, IDC_PROGRESS_FOLDER,
                          IDC_PROGRESS_LABEL, IDC_PROGRESS_TEXT, IDC_PROGRESS_BAR, IDD_PROGRESS}));
}

std::string BitmapHeader(const std::string& d) {
    BITMAPINFOHEADER h{};
    memcpy(&h, d.data(), std::min(d.size(), sizeof h));
    char b[128];
    snprintf(b, sizeof b, "%lu %ldx%ld %u %u %lu %lu %ld %ld %lu %lu", (unsigned long)h.biSize,
             (long)h.biWidth, (long)h.biHeight, h.biPlanes, h.biBitCount,
             (unsigned long)h.biCompression, (unsigned long)h.biSizeImage, (long)h.biXPelsPerMeter,
             (long)h.biYPelsPerMeter, (unsigned long)h.biClrUsed, (unsigned long)h.biClrImportant);
    return b;
}

TEST_F(ResourceTest, BannerIsBottomUp24BitUncompressed) {
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_BITMAP, MAKEINTRESOURCEA(IDB_BANNER)));
    EXPECT_EQ(std::vector<std::string>{"113"}, Names(RT_BITMAP));
    const std::string data = Data(RT_BITMAP, IDB_BANNER);
    ASSERT_EQ(153180u, data.size());
    // Positive height: bottom-up; BI_RGB = 0.
    EXPECT_EQ("40 537x95 1 24 0 153140 3778 3778 0 0", BitmapHeader(data));
    // A picture, not a flat fill: many distinct colours.
    std::vector<bool> seen(1 << 15);
    int distinct = 0;
    for (int y = 0; y < 95; ++y) {
        for (int x = 0; x < 537; ++x) {
            const auto* p =
                reinterpret_cast<const unsigned char*>(data.data()) + 40 + y * 1612 + x * 3;
            const int key = (p[0] >> 3) | ((p[1] >> 3) << 5) | ((p[2] >> 3) << 10);
            if (!seen[key]) {
                seen[key] = true;
                ++distinct;
            }
        }
    }
    EXPECT_GT(distinct, 200);
}

struct IconSpec {
    int size, bpp;
};
constexpr IconSpec kIcons[15] = {{32, 4},   {16, 4},  {48, 8},  {32, 8},  {24, 8},
                                 {16, 8},   {48, 24}, {32, 24}, {24, 24}, {16, 24},
                                 {256, 32}, {48, 32}, {32, 32}, {24, 32}, {16, 32}};

TEST_F(ResourceTest, IconGroupListsFifteenImagesInOrder) {
    EXPECT_EQ(std::vector<std::string>{"107"}, Names(RT_GROUP_ICON));
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP)));
    const std::string group = Data(RT_GROUP_ICON, IDI_APP);
    ASSERT_EQ(6u + 15u * 14u, group.size());
    Reader r(group);
    EXPECT_EQ(0, r.W());
    EXPECT_EQ(1, r.W());  // icons, not cursors
    ASSERT_EQ(15, r.W());
    std::vector<std::string> ids;
    for (int i = 0; i < 15; ++i) {
        SCOPED_TRACE("image " + std::to_string(i + 1));
        const int size = kIcons[i].size == 256 ? 0 : kIcons[i].size;
        EXPECT_EQ(size, static_cast<int>(r.U(1)));  // width
        EXPECT_EQ(size, static_cast<int>(r.U(1)));  // height
        EXPECT_EQ(kIcons[i].bpp == 4 ? 16 : 0, static_cast<int>(r.U(1)));
        r.U(1);
        EXPECT_EQ(1, r.W());  // planes
        EXPECT_EQ(kIcons[i].bpp, r.W());
        const uint32_t bytes = r.U(4);
        EXPECT_EQ(i + 1, r.W());
        EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_ICON, MAKEINTRESOURCEA(i + 1)));
        EXPECT_EQ(bytes, Data(RT_ICON, i + 1).size());
        ids.push_back(std::to_string(i + 1));
    }
    EXPECT_EQ(ids, Names(RT_ICON));
}

bool MaskBit(const std::string& img, size_t maskOffset, int size, int x, int yTop) {
    const int stride = ((size + 31) / 32) * 4, row = size - 1 - yTop;  // bottom-up
    return (static_cast<unsigned char>(img[maskOffset + row * stride + x / 8]) >> (7 - x % 8)) & 1;
}

TEST_F(ResourceTest, IconImagesHaveTheirFormatPaletteAndMask) {
    for (int i = 0; i < 15; ++i) {
        const int size = kIcons[i].size, bpp = kIcons[i].bpp;
        SCOPED_TRACE("image " + std::to_string(i + 1));
        const std::string img = Data(RT_ICON, i + 1);
        ASSERT_GT(img.size(), 40u);
        if (size == 256) {
            // PNG signature, IHDR 256x256, 8 bits per channel, RGBA.
            EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), img.substr(0, 8));
            EXPECT_EQ(std::string("IHDR\0\0\1\0\0\0\1\0\x08\x06", 14), img.substr(12, 14));
        } else {
            const size_t palette = bpp <= 8 ? 1u << bpp : 0;
            BITMAPINFOHEADER h;
            memcpy(&h, img.data(), sizeof h);
            // Height counts the colour bits and the AND mask.
            EXPECT_EQ((std::vector<long>{40, size, size * 2, 1, bpp, BI_RGB, long(palette)}),
                      (std::vector<long>{long(h.biSize), h.biWidth, h.biHeight, h.biPlanes,
                                         h.biBitCount, long(h.biCompression),
                                         long(bpp <= 8 && h.biClrUsed ? h.biClrUsed : palette)}));
            const size_t colourStride = ((size * bpp + 31) / 32) * 4,
                         maskStride = ((size + 31) / 32) * 4;
            const size_t maskOffset = 40 + palette * 4 + colourStride * size;
            ASSERT_EQ(maskOffset + maskStride * size, img.size());
            // Rounded tile: the corner is transparent, the middle is not.
            EXPECT_TRUE(MaskBit(img, maskOffset, size, 0, 0));
            EXPECT_TRUE(MaskBit(img, maskOffset, size, size - 1, size - 1));
            EXPECT_FALSE(MaskBit(img, maskOffset, size, size / 2, size / 2));
            EXPECT_FALSE(MaskBit(img, maskOffset, size, size / 2, size / 4));
            if (bpp == 32) {
                // Alpha carries the shape with soft edges; the mask agrees.
                int partial = 0, disagree = 0;
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x) {
                        const auto a = static_cast<unsigned char>(
                            img[40 + (size - 1 - y) * colourStride + x * 4 + 3]);
                        partial += a > 0 && a < 255;
                        disagree += (a == 0) != MaskBit(img, maskOffset, size, x, y);
                    }
                }
                EXPECT_GT(partial, 0);
                EXPECT_EQ(0, disagree);
            } else if (bpp <= 8) {
                // Masked pixels are black so AND then XOR leaves the screen.
                const auto* bytes = reinterpret_cast<const unsigned char*>(img.data());
                const int first = bytes[40 + palette * 4 + (size - 1) * colourStride];
                const unsigned char* entry = bytes + 40 + (bpp == 8 ? first : first >> 4) * 4;
                EXPECT_EQ(0, entry[0] | entry[1] | entry[2]);
            }
        }
        // The platform accepts every image for what it claims to be.
        HICON icon = CreateIconFromResourceEx(
            reinterpret_cast<PBYTE>(const_cast<char*>(img.data())), static_cast<DWORD>(img.size()),
            TRUE, 0x00030000, size, size, 0);
        ASSERT_NE(nullptr, icon) << GetLastError();
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bm{};
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(size, bm.bmWidth);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    // On a true-colour screen the deepest image of each size wins.
    std::string group = Data(RT_GROUP_ICON, IDI_APP);
    for (auto [size, id] : {std::pair{256, 11}, {48, 12}, {32, 13}, {24, 14}, {16, 15}})
        EXPECT_EQ(id, LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(group.data()), TRUE, size,
                                                  size, 0));
}

TEST_F(ResourceTest, ShellReadsTheFixedVersionFieldsAndStrings) {
    EXPECT_EQ(std::vector<std::string>{"1"}, Names(RT_VERSION));
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_VERSION, MAKEINTRESOURCEA(IDV_VERSION)));
    const std::string path = AppPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    auto query = [&](const std::string& key, UINT* length = nullptr) -> const char* {
        char* value = nullptr;
        UINT n = 0;
        if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &n))
            return nullptr;
        if (length) *length = n;
        return value;
    };
    UINT length = 0;
    const auto* f = reinterpret_cast<const VS_FIXEDFILEINFO*>(query("\\", &length));
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ((std::vector<DWORD>{0xFEEF04BD, 0x10000, 0x10000, 1, 0x10000, 1, 0x3F, 0, 0x40004, 1,
                                  0, 0, 0}),
              (std::vector<DWORD>{f->dwSignature, f->dwStrucVersion, f->dwFileVersionMS,
                                  f->dwFileVersionLS, f->dwProductVersionMS, f->dwProductVersionLS,
                                  f->dwFileFlagsMask, f->dwFileFlags, f->dwFileOS, f->dwFileType,
                                  f->dwFileSubtype, f->dwFileDateMS, f->dwFileDateLS}));
    const std::pair<const char*, const char*> strings[] = {
        {"CompanyName", nullptr},   {"FileDescription", "VELTAセットアップダウンロード"},
        {"FileVersion", "1.0.0.1"}, {"LegalCopyright", nullptr},
        {"ProductName", "VELTA"},   {"ProductVersion", "1.0.250401"}};
    for (const auto& [key, expected] : strings) {
        const char* value = query(std::string("\\StringFileInfo\\041104b0\\") + key);
        ASSERT_NE(nullptr, value) << key;
        if (expected)
            EXPECT_STREQ(expected, value) << key;
        else
            EXPECT_NE('\0', value[0]) << key;
    }
    const auto* translation =
        reinterpret_cast<const DWORD*>(query("\\VarFileInfo\\Translation", &length));
    ASSERT_NE(nullptr, translation);
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x04B00411u, *translation);
}

// One block of the version record: length, value length, type, key, value,
// children, each part DWORD-aligned from the start of the resource. A text
// value (type 1) counts WCHARs, a binary one bytes.
struct VersionBlock {
    std::string key;
    uint16_t type = 0;
    std::string value;  // raw bytes
    std::vector<VersionBlock> children;
};

bool ParseBlock(const std::string& data, size_t pos, VersionBlock& out) {
    Reader r(data, pos);
    const size_t length = r.W(), valueLength = r.W();
    out.type = r.W();
    out.key = r.Sz();
    r.Align4();
    const size_t end = pos + length, valueBytes = out.type == 1 ? valueLength * 2 : valueLength;
    if (!r.ok() || length < 6 || end > data.size() || r.pos() + valueBytes > end) return false;
    out.value = data.substr(r.pos(), valueBytes);
    for (size_t child = (r.pos() + valueBytes + 3) & ~size_t{3}; child + 6 <= end;) {
        VersionBlock c;
        if (!ParseBlock(data, child, c)) return false;
        child = (child + Reader(data, child).W() + 3) & ~size_t{3};
        out.children.push_back(std::move(c));
    }
    return true;
}

std::string TextValue(const VersionBlock& b) {
    std::wstring w(b.value.size() / 2, L'\0');
    memcpy(w.data(), b.value.data(), w.size() * 2);
    while (!w.empty() && w.back() == L'\0') w.pop_back();
    return ToCp932(w);
}

// The shell reads the strings by key; the record itself keeps them in a fixed
// order, each as text, in the one Japanese UTF-16 table.
TEST_F(ResourceTest, VersionStringsAreTextInTheirFixedOrder) {
    VersionBlock root;
    ASSERT_TRUE(ParseBlock(Data(RT_VERSION, IDV_VERSION), 0, root));
    EXPECT_EQ("VS_VERSION_INFO", root.key);
    EXPECT_EQ(sizeof(VS_FIXEDFILEINFO), root.value.size());
    ASSERT_EQ(2u, root.children.size());
    EXPECT_EQ("StringFileInfo", root.children[0].key);
    ASSERT_EQ(1u, root.children[0].children.size());
    const VersionBlock& table = root.children[0].children[0];
    EXPECT_EQ("041104b0", table.key);
    const std::pair<const char*, const char*> expected[] = {
        {"CompanyName", nullptr},   {"FileDescription", "VELTAセットアップダウンロード"},
        {"FileVersion", "1.0.0.1"}, {"LegalCopyright", nullptr},
        {"ProductName", "VELTA"},   {"ProductVersion", "1.0.250401"}};
    ASSERT_EQ(std::size(expected), table.children.size());
    for (size_t i = 0; i < table.children.size(); ++i) {
        const auto& [key, value] = expected[i];
        const VersionBlock& entry = table.children[i];
        EXPECT_EQ(key, entry.key);
        EXPECT_EQ(1, entry.type) << key;
        if (value) {
            EXPECT_EQ(value, TextValue(entry));
        } else {
            EXPECT_FALSE(TextValue(entry).empty()) << key;
        }
    }
    EXPECT_EQ("VarFileInfo", root.children[1].key);
    ASSERT_EQ(1u, root.children[1].children.size());
    EXPECT_EQ("Translation", root.children[1].children[0].key);
    EXPECT_EQ(std::string("\x11\x04\xb0\x04", 4), root.children[1].children[0].value);
}

// Attribute value inside one element; "<none>" when absent.
std::string Attribute(const std::string& element, const std::string& name) {
    for (size_t at = element.find(name + "=\""); at != std::string::npos;
         at = element.find(name + "=\"", at + 1)) {
        if (at == 0 || !isspace(static_cast<unsigned char>(element[at - 1]))) continue;
        const size_t start = at + name.size() + 2;
        return element.substr(start, element.find('"', start) - start);
    }
    return "<none>";
}

// The first element with that tag whose text contains `containing`.
std::string Element(const std::string& xml, const std::string& tag, const std::string& containing) {
    for (size_t at = xml.find("<" + tag); at != std::string::npos;
         at = xml.find("<" + tag, at + 1)) {
        const std::string element = xml.substr(at, xml.find('>', at) - at + 1);
        if (element.find(containing) != std::string::npos) return element;
    }
    return {};
}

TEST_F(ResourceTest, ManifestAsksForNoElevationAndCommonControlsSix) {
    EXPECT_EQ(std::vector<std::string>{"1"}, Names(RT_MANIFEST));
    EXPECT_EQ(std::vector<WORD>{0x0409}, Languages(RT_MANIFEST, MAKEINTRESOURCEA(1)));
    const std::string xml = Data(RT_MANIFEST, 1, 0x0409);
    const std::string level = Element(xml, "requestedExecutionLevel", "level=");
    EXPECT_EQ("asInvoker", Attribute(level, "level"));
    EXPECT_EQ("false", Attribute(level, "uiAccess"));
    const std::string controls =
        Element(xml, "assemblyIdentity", "\"Microsoft.Windows.Common-Controls\"");
    ASSERT_FALSE(controls.empty()) << xml;
    for (auto [name, value] : {std::pair{"type", "win32"},
                               {"version", "6.0.0.0"},
                               {"processorArchitecture", "amd64"},
                               {"publicKeyToken", "6595b64144ccf1df"},
                               {"language", "*"}})
        EXPECT_EQ(value, Attribute(controls, name)) << name;
    // The identity sits inside a dependency, not e.g. in a comment.
    const size_t dependency = xml.find("<dependentAssembly>");
    EXPECT_NE(std::string::npos, dependency);
    EXPECT_GT(xml.find(controls), dependency);
}

// Names of the DLLs the module imports from, lower case. The module is mapped
// as an image, so the table's addresses are offsets from its base.
std::vector<std::string> ImportedDlls(HMODULE module) {
    const auto* base =
        reinterpret_cast<const uint8_t*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR{3});
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& table =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> names;
    if (table.VirtualAddress == 0) return names;
    for (const auto* d =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + table.VirtualAddress);
         d->Name; ++d) {
        std::string name = reinterpret_cast<const char*>(base + d->Name);
        for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        names.push_back(name);
    }
    return names;
}

// The progress bar's class comes from the common controls 6 that the manifest
// names; the program never initialises them, so it needs nothing of theirs.
TEST_F(ResourceTest, ExecutableImportsNothingFromTheCommonControls) {
    const std::vector<std::string> dlls = ImportedDlls(m_module);
    std::string listed;
    for (const std::string& dll : dlls) listed += dll + " ";
    const auto imports = [&](const char* dll) {
        return std::find(dlls.begin(), dlls.end(), dll) != dlls.end();
    };
    EXPECT_TRUE(imports("user32.dll")) << listed;  // the table was read at all
    EXPECT_FALSE(imports("comctl32.dll")) << listed;
}

}  // namespace

// The tool converts code page 932 through the platform and asks the file
// system about names; a code page 932 table (the site checker's model of
// Windows) in the executable means checker code was linked into it. A row
// of the table, as the platform decodes it, is looked for in the file.
TEST(ExecutableContents, CarriesNoCodePage932Table) {
    std::string row;
    for (int trail = 0x9F; trail < 0xAF; ++trail) {
        const char pair[2] = {'\x88', static_cast<char>(trail)};
        wchar_t c = 0;
        ASSERT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, pair, 2, &c, 1), 1);
        row += static_cast<char>(c & 0xFF);
        row += static_cast<char>(c >> 8);
    }
    HANDLE file = CreateFileA(AppPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    const BOOL ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && read == bytes.size());
    EXPECT_EQ(bytes.find(row), std::string::npos) << "a code page 932 table in " << AppPath();
}
