// Reads the resources of the built executable the way the loader and the
// shell do (the module mapped as data) and checks every fixed value of the
// dialog templates, the banner, the icon, the version record and the
// manifest. The binary formats are parsed here, independently of windres.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

constexpr WORD kJapanese = 0x0411;
constexpr WORD kEnglishUs = 0x0409;

std::string ToCp932(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(932, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

// The build gives the executable's Unix path; Wine maps the root to Z:.
std::string AppPath() {
    std::string path = VELTA_APP_PATH;
    if (!path.empty() && path[0] == '/') {
        for (char& c : path) c = c == '/' ? '\\' : c;
        path = "Z:" + path;
    }
    return path;
}

class Module {
public:
    Module() {
        m_module = LoadLibraryExA(AppPath().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        m_error = GetLastError();
    }
    ~Module() {
        if (m_module) FreeLibrary(m_module);
    }
    HMODULE get() const { return m_module; }
    DWORD error() const { return m_error; }

private:
    HMODULE m_module = nullptr;
    DWORD m_error = 0;
};

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, m_module.get()) << AppPath() << " error " << m_module.error();
    }

    // Resource bytes; empty when the resource does not exist in that language.
    std::string Data(LPCSTR type, LPCSTR name, WORD lang) const {
        HRSRC info = FindResourceExA(m_module.get(), type, name, lang);
        if (!info) return {};
        HGLOBAL loaded = LoadResource(m_module.get(), info);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (!bytes) return {};
        return std::string(static_cast<const char*>(bytes), SizeofResource(m_module.get(), info));
    }

    std::vector<WORD> Languages(LPCSTR type, LPCSTR name) const {
        std::vector<WORD> langs;
        EnumResourceLanguagesA(
            m_module.get(), type, name,
            [](HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR param) -> BOOL {
                reinterpret_cast<std::vector<WORD>*>(param)->push_back(lang);
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&langs));
        return langs;
    }

    // Names of one type: ordinals as their number, strings as themselves.
    std::vector<std::string> Names(LPCSTR type) const {
        std::vector<std::string> names;
        EnumResourceNamesA(
            m_module.get(), type,
            [](HMODULE, LPCSTR, LPSTR name, LONG_PTR param) -> BOOL {
                reinterpret_cast<std::vector<std::string>*>(param)->push_back(
                    IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name))
                                         : std::string(name));
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&names));
        return names;
    }

    Module m_module;
};

// ---------------------------------------------------------------------------
// Little-endian reader over a resource with the alignment rules of the
// templates (DWORD alignment is relative to the resource start).

class Reader {
public:
    explicit Reader(const std::string& data, size_t pos = 0) : m_data(data), m_pos(pos) {}
    bool ok() const { return m_ok; }
    size_t pos() const { return m_pos; }
    void Seek(size_t pos) { m_pos = pos; }
    void Align4() { m_pos = (m_pos + 3) & ~size_t{3}; }
    uint32_t U(size_t n) {
        if (m_pos + n > m_data.size()) {
            m_ok = false;
            return 0;
        }
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v |= static_cast<uint32_t>(static_cast<unsigned char>(m_data[m_pos + i])) << (8 * i);
        m_pos += n;
        return v;
    }
    uint16_t W() { return static_cast<uint16_t>(U(2)); }
    uint32_t D() { return U(4); }
    int16_t S() { return static_cast<int16_t>(U(2)); }
    std::wstring Wsz() {
        std::wstring s;
        for (;;) {
            const wchar_t c = static_cast<wchar_t>(W());
            if (!m_ok || c == 0) return s;
            s.push_back(c);
        }
    }
    // sz_Or_Ord: absent (""), an ordinal ("#n"), or a string in code page 932.
    std::string SzOrOrd() {
        const uint16_t first = W();
        if (first == 0) return {};
        if (first == 0xFFFF) return "#" + std::to_string(W());
        m_pos -= 2;
        return ToCp932(Wsz());
    }

private:
    const std::string& m_data;
    size_t m_pos;
    bool m_ok = true;
};

// ---------------------------------------------------------------------------
// Dialog templates

struct Control {
    int id;
    std::string cls;  // "#n" for the predefined classes' ordinals
    int x, y, cx, cy;
    uint32_t style;
    std::string text;  // "#n" for a resource ordinal
    uint32_t exStyle = 0;
};

struct Dialog {
    uint16_t version = 0, signature = 0;
    uint32_t style = 0, exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, cls, title;
    int pointSize = 0;
    std::string typeface;
    std::vector<Control> controls;
    bool ok = false;
};

Dialog ParseDialogEx(const std::string& data) {
    Dialog d;
    Reader r(data);
    d.version = r.W();
    d.signature = r.W();
    r.D();  // help id
    d.exStyle = r.D();
    d.style = r.D();
    const int count = r.W();
    d.x = r.S(), d.y = r.S(), d.cx = r.S(), d.cy = r.S();
    d.menu = r.SzOrOrd();
    d.cls = r.SzOrOrd();
    d.title = ToCp932(r.Wsz());
    if (d.style & (DS_SETFONT | DS_SHELLFONT)) {
        d.pointSize = r.W();
        r.W();  // weight
        r.U(1);  // italic
        r.U(1);  // charset
        d.typeface = ToCp932(r.Wsz());
    }
    for (int i = 0; i < count && r.ok(); ++i) {
        r.Align4();
        Control c{};
        r.D();  // help id
        c.exStyle = r.D();
        c.style = r.D();
        c.x = r.S(), c.y = r.S(), c.cx = r.S(), c.cy = r.S();
        // The id is a DWORD in the extended item; -1 may be stored as
        // 0xFFFFFFFF or as 0x0000FFFF, which the dialog manager treats alike.
        c.id = static_cast<int16_t>(r.D() & 0xFFFF);
        c.cls = r.SzOrOrd();
        c.text = r.SzOrOrd();
        const uint16_t extra = r.W();
        r.Seek(r.pos() + extra);
        d.controls.push_back(c);
    }
    d.ok = r.ok() && static_cast<int>(d.controls.size()) == count;
    return d;
}

// The predefined classes may be stored by name or by ordinal, and names in
// any case; all of them load the same window class.
std::string ClassOrdinal(const std::string& cls) {
    static const struct { const char* name; const char* ord; } kClasses[] = {
        {"button", "#128"}, {"edit", "#129"}, {"static", "#130"},
        {"listbox", "#131"}, {"scrollbar", "#132"}, {"combobox", "#133"}};
    std::string lower;
    for (char c : cls) lower.push_back(static_cast<char>(tolower(static_cast<unsigned char>(c))));
    for (const auto& k : kClasses)
        if (lower == k.name) return k.ord;
    return lower;  // class names are case-insensitive
}

void ExpectControls(const std::vector<Control>& expected, const Dialog& d) {
    ASSERT_EQ(expected.size(), d.controls.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Control& e = expected[i];
        const Control& a = d.controls[i];
        SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(e.id));
        EXPECT_EQ(e.id, a.id);
        EXPECT_EQ(ClassOrdinal(e.cls), ClassOrdinal(a.cls));
        EXPECT_EQ(e.x, a.x);
        EXPECT_EQ(e.y, a.y);
        EXPECT_EQ(e.cx, a.cx);
        EXPECT_EQ(e.cy, a.cy);
        EXPECT_EQ(e.style, a.style) << std::hex << a.style;
        EXPECT_EQ(0u, a.exStyle);
        EXPECT_EQ(e.text, a.text);
    }
}

TEST_F(ResourceTest, SelectorTemplateHeaderAndControls) {
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_DIALOG, "DOWNLOADSELECTOR"));
    const Dialog d = ParseDialogEx(Data(RT_DIALOG, "DOWNLOADSELECTOR", kJapanese));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(1, d.version);
    EXPECT_EQ(0xFFFF, d.signature);
    EXPECT_EQ(0x80C808C8u, d.style);
    EXPECT_EQ(0u, d.exStyle);
    EXPECT_EQ(425, d.cx);
    EXPECT_EQ(263, d.cy);
    EXPECT_EQ("", d.menu);
    EXPECT_EQ("", d.cls);
    EXPECT_EQ("製品のダウンロード", d.title);
    EXPECT_EQ(8, d.pointSize);
    EXPECT_EQ("MS Shell Dlg", d.typeface);
    ExpectControls(
        {
            {IDCANCEL, "Button", 304, 240, 81, 14, 0x50010000, "キャンセル"},
            {IDC_SELECTOR_HEADING, "Static", 43, 160, 325, 8, 0x50020000,
             "以下の製品がダウンロード可能です。"},
            {IDC_SELECTOR_PRODUCTS, "ComboBox", 40, 199, 345, 110, 0x50210003, ""},
            {IDC_SELECTOR_START, "Button", 40, 215, 345, 21, 0x50010000,
             "選択した上記製品をダウンロードしてセットアップを開始する"},
            {-1, "Static", 23, 7, 381, 62, 0x5000020E, "#113"},
            {IDC_SELECTOR_USER_PAGE, "Button", 40, 240, 153, 14, 0x50010000,
             "「VELTA ユーザー専用ページ」を開く"},
            {IDC_SELECTOR_STATUS, "Static", 43, 171, 325, 16, 0x50020000, ""},
            {-1, "Static", 23, 73, 381, 8, 0x50020000,
             "VELTAダウンロードツールでは、VELTAのセットアップファイルをダウンロードします。"},
        },
        d);
    EXPECT_EQ(200, IDC_SELECTOR_HEADING);
    EXPECT_EQ(201, IDC_SELECTOR_STATUS);
    EXPECT_EQ(210, IDC_SELECTOR_PRODUCTS);
    EXPECT_EQ(300, IDC_SELECTOR_START);
    EXPECT_EQ(400, IDC_SELECTOR_USER_PAGE);
    EXPECT_EQ(113, IDB_BANNER);
}

TEST_F(ResourceTest, ProgressTemplateHeaderAndControls) {
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_DIALOG, MAKEINTRESOURCEA(110)));
    const Dialog d = ParseDialogEx(Data(RT_DIALOG, MAKEINTRESOURCEA(110), kJapanese));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(1, d.version);
    EXPECT_EQ(0xFFFF, d.signature);
    // Caption and modal frame but no system menu (no close box), not visible.
    EXPECT_EQ(0x80C008C8u, d.style);
    EXPECT_EQ(0u, d.style & (WS_SYSMENU | WS_VISIBLE));
    EXPECT_EQ(0u, d.exStyle);
    EXPECT_EQ(245, d.cx);
    EXPECT_EQ(111, d.cy);
    EXPECT_EQ("VELTA Setup Download", d.title);
    EXPECT_EQ(8, d.pointSize);
    EXPECT_EQ("MS Shell Dlg", d.typeface);
    ASSERT_EQ(9u, d.controls.size());
    // Control 140 carries a sample name that the window replaces.
    EXPECT_FALSE(d.controls[1].text.empty());
    std::vector<Control> expected = {
        {-1, "Static", 7, 14, 40, 8, 0x50020000, "製品"},
        {IDC_PROGRESS_PRODUCT, "Static", 67, 14, 166, 8, 0x50020000, d.controls[1].text},
        {IDC_PROGRESS_FOLDER_LABEL, "Static", 7, 31, 45, 8, 0x50020000, "ダウンロード先"},
        {IDC_PROGRESS_FOLDER, "Static", 67, 31, 163, 8, 0x5002C000, "ユーザーダウンロード先"},
        {IDC_PROGRESS_LABEL, "Static", 7, 52, 34, 8, 0x50020000, "進捗"},
        {IDC_PROGRESS_TEXT, "Static", 68, 52, 163, 8, 0x50020000, "0.0GB/0.0GB(0.0MB/s) 00:00"},
        {IDC_PROGRESS_BAR, "msctls_progress32", 7, 67, 226, 12, 0x50800001, ""},
        {IDCANCEL, "Button", 180, 88, 53, 16, 0x50010000, "中止"},
        {IDC_PROGRESS_FILE_COUNTER, "Static", 7, 92, 168, 8, 0x50020000, ""},
    };
    ExpectControls(expected, d);
    EXPECT_EQ(140, IDC_PROGRESS_PRODUCT);
    EXPECT_EQ(101, IDC_PROGRESS_FOLDER_LABEL);
    EXPECT_EQ(110, IDC_PROGRESS_FOLDER);
    EXPECT_EQ(102, IDC_PROGRESS_LABEL);
    EXPECT_EQ(111, IDC_PROGRESS_TEXT);
    EXPECT_EQ(1002, IDC_PROGRESS_BAR);
    EXPECT_EQ(110, IDD_PROGRESS);
}

TEST_F(ResourceTest, TheTwoTemplatesAreTheOnlyDialogs) {
    EXPECT_EQ((std::vector<std::string>{"DOWNLOADSELECTOR", "110"}), Names(RT_DIALOG));
}

// ---------------------------------------------------------------------------
// Banner

TEST_F(ResourceTest, BannerIsBottomUp24BitUncompressed) {
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_BITMAP, MAKEINTRESOURCEA(IDB_BANNER)));
    EXPECT_EQ(std::vector<std::string>{"113"}, Names(RT_BITMAP));
    const std::string data = Data(RT_BITMAP, MAKEINTRESOURCEA(IDB_BANNER), kJapanese);
    ASSERT_EQ(153180u, data.size());
    BITMAPINFOHEADER h;
    memcpy(&h, data.data(), sizeof h);
    EXPECT_EQ(40u, h.biSize);
    EXPECT_EQ(537, h.biWidth);
    EXPECT_EQ(95, h.biHeight);  // positive: bottom-up
    EXPECT_EQ(1, h.biPlanes);
    EXPECT_EQ(24, h.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), h.biCompression);
    EXPECT_EQ(153140u, h.biSizeImage);
    EXPECT_EQ(3778, h.biXPelsPerMeter);
    EXPECT_EQ(3778, h.biYPelsPerMeter);
    EXPECT_EQ(0u, h.biClrUsed);
    EXPECT_EQ(0u, h.biClrImportant);
    // A picture, not a flat fill: many distinct colours, and the lettering
    // is brighter than the background it sits on.
    std::vector<bool> seen(1 << 15);
    int distinct = 0;
    const int stride = (537 * 3 + 3) & ~3;
    for (int y = 0; y < 95; ++y) {
        for (int x = 0; x < 537; ++x) {
            const unsigned char* p =
                reinterpret_cast<const unsigned char*>(data.data()) + 40 + y * stride + x * 3;
            const int key = (p[0] >> 3) | ((p[1] >> 3) << 5) | ((p[2] >> 3) << 10);
            if (!seen[key]) seen[key] = true, ++distinct;
        }
    }
    EXPECT_GT(distinct, 200);
}

// ---------------------------------------------------------------------------
// Icon

struct IconSpec {
    int size, bpp;
};
constexpr IconSpec kIcons[15] = {{32, 4},  {16, 4},  {48, 8},  {32, 8},   {24, 8},
                                 {16, 8},  {48, 24}, {32, 24}, {24, 24},  {16, 24},
                                 {256, 32}, {48, 32}, {32, 32}, {24, 32}, {16, 32}};

TEST_F(ResourceTest, IconGroupListsFifteenImagesInOrder) {
    EXPECT_EQ(std::vector<std::string>{"107"}, Names(RT_GROUP_ICON));
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP)));
    const std::string group = Data(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP), kJapanese);
    ASSERT_EQ(6u + 15u * 14u, group.size());
    Reader r(group);
    EXPECT_EQ(0, r.W());
    EXPECT_EQ(1, r.W());  // icons, not cursors
    ASSERT_EQ(15, r.W());
    std::vector<std::string> ids;
    for (int i = 0; i < 15; ++i) {
        SCOPED_TRACE("image " + std::to_string(i + 1));
        const int width = static_cast<int>(r.U(1));
        const int height = static_cast<int>(r.U(1));
        const int colours = static_cast<int>(r.U(1));
        r.U(1);
        const int planes = r.W();
        const int bpp = r.W();
        const uint32_t bytes = r.D();
        const int id = r.W();
        const int size = kIcons[i].size == 256 ? 0 : kIcons[i].size;
        EXPECT_EQ(size, width);
        EXPECT_EQ(size, height);
        EXPECT_EQ(kIcons[i].bpp == 4 ? 16 : 0, colours);
        EXPECT_EQ(1, planes);
        EXPECT_EQ(kIcons[i].bpp, bpp);
        EXPECT_EQ(i + 1, id);
        EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_ICON, MAKEINTRESOURCEA(id)));
        EXPECT_EQ(bytes, Data(RT_ICON, MAKEINTRESOURCEA(id), kJapanese).size());
        ids.push_back(std::to_string(i + 1));
    }
    EXPECT_EQ(ids, Names(RT_ICON));
}

bool MaskBit(const std::string& img, size_t maskOffset, int size, int x, int yTop) {
    const int stride = ((size + 31) / 32) * 4;
    const int row = size - 1 - yTop;  // bottom-up
    return (static_cast<unsigned char>(img[maskOffset + row * stride + x / 8]) >> (7 - x % 8)) & 1;
}

TEST_F(ResourceTest, IconImagesHaveTheirFormatPaletteAndMask) {
    for (int i = 0; i < 15; ++i) {
        const int size = kIcons[i].size, bpp = kIcons[i].bpp;
        SCOPED_TRACE("image " + std::to_string(i + 1) + ": " + std::to_string(size) + " px, " +
                     std::to_string(bpp) + " bpp");
        const std::string img = Data(RT_ICON, MAKEINTRESOURCEA(i + 1), kJapanese);
        ASSERT_GT(img.size(), 40u);
        if (size == 256) {
            ASSERT_EQ(0, img.compare(0, 8, "\x89PNG\r\n\x1a\n", 8));
            auto big32 = [&](size_t at) {
                uint32_t v = 0;
                for (int k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(img[at + k]);
                return v;
            };
            EXPECT_EQ(0, img.compare(12, 4, "IHDR"));
            EXPECT_EQ(256u, big32(16));
            EXPECT_EQ(256u, big32(20));
            EXPECT_EQ(8, img[24]);  // bits per channel
            EXPECT_EQ(6, img[25]);  // RGBA
        } else {
            BITMAPINFOHEADER h;
            memcpy(&h, img.data(), sizeof h);
            EXPECT_EQ(40u, h.biSize);
            EXPECT_EQ(size, h.biWidth);
            EXPECT_EQ(size * 2, h.biHeight);  // colour bits and AND mask
            EXPECT_EQ(1, h.biPlanes);
            EXPECT_EQ(bpp, h.biBitCount);
            EXPECT_EQ(static_cast<DWORD>(BI_RGB), h.biCompression);
            const size_t paletteEntries = bpp <= 8 ? (h.biClrUsed ? h.biClrUsed : 1u << bpp) : 0;
            EXPECT_EQ(bpp <= 8 ? 1u << bpp : 0u, paletteEntries);
            const size_t colourStride = ((size * bpp + 31) / 32) * 4;
            const size_t maskStride = ((size + 31) / 32) * 4;
            const size_t maskOffset = 40 + paletteEntries * 4 + colourStride * size;
            ASSERT_EQ(maskOffset + maskStride * size, img.size());
            // Rounded tile: the corner is transparent, the middle is not.
            EXPECT_TRUE(MaskBit(img, maskOffset, size, 0, 0));
            EXPECT_TRUE(MaskBit(img, maskOffset, size, size - 1, size - 1));
            EXPECT_FALSE(MaskBit(img, maskOffset, size, size / 2, size / 2));
            EXPECT_FALSE(MaskBit(img, maskOffset, size, size / 2, size / 4));
            if (bpp == 32) {
                // Alpha carries the shape with soft edges; the mask agrees.
                int partial = 0;
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x) {
                        const unsigned char a = static_cast<unsigned char>(
                            img[40 + (size - 1 - y) * colourStride + x * 4 + 3]);
                        if (a > 0 && a < 255) ++partial;
                        EXPECT_EQ(a == 0, MaskBit(img, maskOffset, size, x, y))
                            << "pixel " << x << "," << y;
                    }
                }
                EXPECT_GT(partial, 0);
            } else if (bpp <= 8) {
                // Masked pixels are black so AND then XOR leaves the screen.
                const unsigned char* bits =
                    reinterpret_cast<const unsigned char*>(img.data()) + 40 + paletteEntries * 4;
                const int index = bpp == 8 ? bits[(size - 1) * colourStride] : bits[(size - 1) * colourStride] >> 4;
                const unsigned char* entry =
                    reinterpret_cast<const unsigned char*>(img.data()) + 40 + index * 4;
                EXPECT_EQ(0, entry[0] | entry[1] | entry[2]);
            }
        }
        // The platform accepts every image for what it claims to be.
        HICON icon = CreateIconFromResourceEx(
            reinterpret_cast<PBYTE>(const_cast<char*>(img.data())), static_cast<DWORD>(img.size()),
            TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
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
}

TEST_F(ResourceTest, PlatformPicksTheImageOfTheAskedSizeAndDepth) {
    const std::string group = Data(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP), kJapanese);
    ASSERT_FALSE(group.empty());
    auto pick = [&](int size) {
        return LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(const_cast<char*>(group.data())),
                                           TRUE, size, size, LR_DEFAULTCOLOR);
    };
    // On a true-colour screen the deepest image of each size wins.
    EXPECT_EQ(11, pick(256));
    EXPECT_EQ(12, pick(48));
    EXPECT_EQ(13, pick(32));
    EXPECT_EQ(14, pick(24));
    EXPECT_EQ(15, pick(16));
}

// ---------------------------------------------------------------------------
// Version record

struct VersionBlock {
    std::wstring key;
    uint16_t type = 0;
    std::string value;  // raw bytes
    std::vector<VersionBlock> children;
};

// One block at pos: length, value length, type, key, value, children, each
// part DWORD-aligned from the start of the resource.
bool ParseBlock(const std::string& data, size_t pos, VersionBlock& out, bool textValue) {
    Reader r(data, pos);
    const size_t length = r.W();
    const size_t valueLength = r.W();
    out.type = r.W();
    out.key = r.Wsz();
    r.Align4();
    const size_t end = pos + length;
    if (!r.ok() || length < 6 || end > data.size()) return false;
    // Text values count WCHARs, binary ones bytes.
    const size_t valueBytes = textValue && out.type == 1 ? valueLength * 2 : valueLength;
    if (r.pos() + valueBytes > end) return false;
    out.value = data.substr(r.pos(), valueBytes);
    size_t child = (r.pos() + valueBytes + 3) & ~size_t{3};
    const bool childrenText = out.key != L"VarFileInfo";
    while (child + 6 <= end) {
        VersionBlock c;
        if (!ParseBlock(data, child, c, childrenText)) return false;
        const size_t childLength = static_cast<unsigned char>(data[child]) |
                                   (static_cast<unsigned char>(data[child + 1]) << 8);
        out.children.push_back(std::move(c));
        child = (child + childLength + 3) & ~size_t{3};
    }
    return true;
}

std::string TextValue(const VersionBlock& b) {
    std::wstring w(b.value.size() / 2, L'\0');
    memcpy(w.data(), b.value.data(), w.size() * 2);
    while (!w.empty() && w.back() == L'\0') w.pop_back();
    return ToCp932(w);
}

TEST_F(ResourceTest, VersionRecordFixedPartStringsAndTranslation) {
    EXPECT_EQ(std::vector<std::string>{"1"}, Names(RT_VERSION));
    EXPECT_EQ(std::vector<WORD>{kJapanese}, Languages(RT_VERSION, MAKEINTRESOURCEA(IDV_VERSION)));
    const std::string data = Data(RT_VERSION, MAKEINTRESOURCEA(IDV_VERSION), kJapanese);
    VersionBlock root;
    ASSERT_TRUE(ParseBlock(data, 0, root, false));
    EXPECT_EQ(L"VS_VERSION_INFO", root.key);
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), root.value.size());
    VS_FIXEDFILEINFO f;
    memcpy(&f, root.value.data(), sizeof f);
    EXPECT_EQ(0xFEEF04BDu, f.dwSignature);
    EXPECT_EQ(0x00010000u, f.dwStrucVersion);
    EXPECT_EQ(0x00010000u, f.dwFileVersionMS);
    EXPECT_EQ(0x00000001u, f.dwFileVersionLS);
    EXPECT_EQ(0x00010000u, f.dwProductVersionMS);
    EXPECT_EQ(0x00000001u, f.dwProductVersionLS);
    EXPECT_EQ(0x3Fu, f.dwFileFlagsMask);
    EXPECT_EQ(0u, f.dwFileFlags);
    EXPECT_EQ(0x00040004u, f.dwFileOS);
    EXPECT_EQ(1u, f.dwFileType);
    EXPECT_EQ(0u, f.dwFileSubtype);
    EXPECT_EQ(0u, f.dwFileDateMS);
    EXPECT_EQ(0u, f.dwFileDateLS);

    ASSERT_EQ(2u, root.children.size());
    const VersionBlock& strings = root.children[0];
    EXPECT_EQ(L"StringFileInfo", strings.key);
    ASSERT_EQ(1u, strings.children.size());
    const VersionBlock& table = strings.children[0];
    EXPECT_EQ(L"041104b0", table.key);
    std::vector<std::wstring> keys;
    for (const auto& s : table.children) keys.push_back(s.key);
    EXPECT_EQ((std::vector<std::wstring>{L"CompanyName", L"FileDescription", L"FileVersion",
                                         L"LegalCopyright", L"ProductName", L"ProductVersion"}),
              keys);
    ASSERT_EQ(6u, table.children.size());
    EXPECT_FALSE(TextValue(table.children[0]).empty());
    EXPECT_EQ("VELTAセットアップダウンロード", TextValue(table.children[1]));
    EXPECT_EQ("1.0.0.1", TextValue(table.children[2]));
    EXPECT_FALSE(TextValue(table.children[3]).empty());
    EXPECT_EQ("VELTA", TextValue(table.children[4]));
    EXPECT_EQ("1.0.250401", TextValue(table.children[5]));
    for (const auto& s : table.children) EXPECT_EQ(1, s.type) << "text value";

    const VersionBlock& vars = root.children[1];
    EXPECT_EQ(L"VarFileInfo", vars.key);
    ASSERT_EQ(1u, vars.children.size());
    EXPECT_EQ(L"Translation", vars.children[0].key);
    EXPECT_EQ(std::string("\x11\x04\xb0\x04", 4), vars.children[0].value);
}

TEST_F(ResourceTest, ShellReadsDescriptionNameAndVersionFromTheFile) {
    const std::string path = AppPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    auto query = [&](const char* key) {
        char* value = nullptr;
        UINT length = 0;
        const std::string sub = std::string("\\StringFileInfo\\041104b0\\") + key;
        if (!VerQueryValueA(info.data(), sub.c_str(), reinterpret_cast<void**>(&value), &length))
            return std::string("<missing>");
        return std::string(value);
    };
    EXPECT_EQ("VELTAセットアップダウンロード", query("FileDescription"));
    EXPECT_EQ("VELTA", query("ProductName"));
    EXPECT_EQ("1.0.250401", query("ProductVersion"));
    EXPECT_EQ("1.0.0.1", query("FileVersion"));
    DWORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x04B00411u, *translation);
}

// ---------------------------------------------------------------------------
// Manifest

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
    for (size_t at = xml.find("<" + tag); at != std::string::npos; at = xml.find("<" + tag, at + 1)) {
        const std::string element = xml.substr(at, xml.find('>', at) - at + 1);
        if (element.find(containing) != std::string::npos) return element;
    }
    return {};
}

TEST_F(ResourceTest, ManifestAsksForNoElevationAndCommonControlsSix) {
    EXPECT_EQ(std::vector<std::string>{"1"}, Names(RT_MANIFEST));
    EXPECT_EQ(std::vector<WORD>{kEnglishUs}, Languages(RT_MANIFEST, MAKEINTRESOURCEA(1)));
    const std::string xml = Data(RT_MANIFEST, MAKEINTRESOURCEA(1), kEnglishUs);
    ASSERT_FALSE(xml.empty());
    const std::string level = Element(xml, "requestedExecutionLevel", "level=");
    EXPECT_EQ("asInvoker", Attribute(level, "level"));
    EXPECT_EQ("false", Attribute(level, "uiAccess"));
    const std::string controls =
        Element(xml, "assemblyIdentity", "\"Microsoft.Windows.Common-Controls\"");
    ASSERT_FALSE(controls.empty()) << xml;
    EXPECT_EQ("win32", Attribute(controls, "type"));
    EXPECT_EQ("6.0.0.0", Attribute(controls, "version"));
    EXPECT_EQ("amd64", Attribute(controls, "processorArchitecture"));
    EXPECT_EQ("6595b64144ccf1df", Attribute(controls, "publicKeyToken"));
    EXPECT_EQ("*", Attribute(controls, "language"));
    // The identity sits inside a dependency, not e.g. in a comment.
    const size_t dependency = xml.find("<dependentAssembly>");
    EXPECT_NE(std::string::npos, dependency);
    EXPECT_GT(xml.find(controls), dependency);
}

}  // namespace
