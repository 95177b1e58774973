#include "level/ImageListStream.h"

#include "common/ComponentStream.h"
#include "common/Exception.h"
#include "common/StrUtils.h"
#include "level/ImageList.h"

#include <cstring>

namespace varnok {

namespace {

struct ColorName {
    const char* name;
    TColor value;
};

constexpr TColor kSystemColor = 0x80000000;

const ColorName kColorNames[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", kSystemColor + 0},
    {"clBackground", kSystemColor + 1},
    {"clActiveCaption", kSystemColor + 2},
    {"clInactiveCaption", kSystemColor + 3},
    {"clMenu", kSystemColor + 4},
    {"clWindow", kSystemColor + 5},
    {"clWindowFrame", kSystemColor + 6},
    {"clMenuText", kSystemColor + 7},
    {"clWindowText", kSystemColor + 8},
    {"clCaptionText", kSystemColor + 9},
    {"clActiveBorder", kSystemColor + 10},
    {"clInactiveBorder", kSystemColor + 11},
    {"clAppWorkSpace", kSystemColor + 12},
    {"clHighlight", kSystemColor + 13},
    {"clHighlightText", kSystemColor + 14},
    {"clBtnFace", kSystemColor + 15},
    {"clBtnShadow", kSystemColor + 16},
    {"clGrayText", kSystemColor + 17},
    {"clBtnText", kSystemColor + 18},
    {"clInactiveCaptionText", kSystemColor + 19},
    {"clBtnHighlight", kSystemColor + 20},
    {"cl3DDkShadow", kSystemColor + 21},
    {"cl3DLight", kSystemColor + 22},
    {"clInfoText", kSystemColor + 23},
    {"clInfoBk", kSystemColor + 24},
    {"clHotLight", kSystemColor + 26},
    {"clGradientActiveCaption", kSystemColor + 27},
    {"clGradientInactiveCaption", kSystemColor + 28},
    {"clMenuHighlight", kSystemColor + 29},
    {"clMenuBar", kSystemColor + 30},
};

const char* const kRootClass = "TPictureCollectionComponent";

[[noreturn]] void UnknownProperty(const std::string& name) {
    throw EStreamError(Format(kPropertyDoesNotExist, name.c_str()));
}

void ReadItemProperty(TComponentReader& r, TPictureCollectionItem& item, const std::string& prop) {
    if (SameText(prop, "Name")) {
        item.SetName(r.ReadString());
    } else if (SameText(prop, "PatternHeight")) {
        item.PatternHeight = r.ReadInteger();
    } else if (SameText(prop, "PatternWidth")) {
        item.PatternWidth = r.ReadInteger();
    } else if (SameText(prop, "Picture.Data")) {
        std::string block = r.ReadBinary();
        item.Picture.LoadFromBlock(block, item.Name());
    } else if (SameText(prop, "SkipHeight")) {
        item.SkipHeight = r.ReadInteger();
    } else if (SameText(prop, "SkipWidth")) {
        item.SkipWidth = r.ReadInteger();
    } else if (SameText(prop, "SystemMemory")) {
        item.SystemMemory = r.ReadBoolean();
    } else if (SameText(prop, "Transparent")) {
        item.Transparent = r.ReadBoolean();
    } else if (SameText(prop, "TransparentColor")) {
        if (r.PeekValueType() == TValueType::vaIdent) {
            std::optional<TColor> c = IdentToColor(r.ReadIdent());
            if (!c) throw EStreamError(kInvalidPropertyValue);
            item.SetTransparentColor(*c);
        } else {
            item.SetTransparentColor(static_cast<TColor>(r.ReadInteger()));
        }
    } else {
        UnknownProperty(prop);
    }
}

void ReadItems(TComponentReader& r, TPictureCollection& collection) {
    r.ReadCollectionBegin();
    while (!r.EndOfList()) {
        r.ReadCollectionItemBegin();
        TPictureCollectionItem& item = collection.Add();
        while (!r.EndOfList()) {
            std::string prop = r.ReadShortString();
            ReadItemProperty(r, item, prop);
        }
        r.ReadListEnd();
    }
    r.ReadListEnd();
}

} // namespace

std::optional<std::string> ColorToIdent(TColor color) {
    for (const ColorName& c : kColorNames)
        if (c.value == color) return std::string(c.name);
    return std::nullopt;
}

std::optional<TColor> IdentToColor(std::string_view ident) {
    for (const ColorName& c : kColorNames)
        if (SameText(c.name, ident)) return c.value;
    return std::nullopt;
}

void ReadPictureCollection(std::string_view bytes, TPictureCollection& collection) {
    TComponentReader r(bytes);
    r.ReadResourceHeader();
    r.ReadSignature();
    r.ReadShortString(); // class name
    r.ReadShortString(); // object name
    while (!r.EndOfList()) {
        std::string prop = r.ReadShortString();
        if (SameText(prop, "List.ColorTable")) {
            std::string table = r.ReadBinary();
            if (table.size() < sizeof(collection.ColorTable)) throw EStreamError(kStreamReadError);
            std::memcpy(collection.ColorTable.data(), table.data(), sizeof(collection.ColorTable));
        } else if (SameText(prop, "List")) {
            ReadItems(r, collection);
        } else {
            UnknownProperty(prop);
        }
    }
    r.ReadListEnd(); // properties
    r.ReadListEnd(); // children
}

std::string WritePictureCollection(const TPictureCollection& collection) {
    static_assert(sizeof(TColorTable) == 1024);
    TComponentWriter w;
    w.BeginResource(kPictureCollectionResourceName);
    w.WriteSignature();
    w.WriteShortString(kRootClass);
    w.WriteShortString("");
    w.WritePropertyName("List.ColorTable");
    w.WriteBinary(std::string_view(reinterpret_cast<const char*>(collection.ColorTable.data()),
                                   sizeof(collection.ColorTable)));
    w.WritePropertyName("List");
    w.WriteCollectionBegin();
    for (int i = 0; i < collection.Count(); ++i) {
        const TPictureCollectionItem& item = collection.Items(i);
        w.WriteListBegin();
        if (!item.Name().empty()) {
            w.WritePropertyName("Name");
            w.WriteString(item.Name());
        }
        w.WritePropertyName("PatternHeight");
        w.WriteInteger(item.PatternHeight);
        w.WritePropertyName("PatternWidth");
        w.WriteInteger(item.PatternWidth);
        if (!item.Picture.Empty()) {
            w.WritePropertyName("Picture.Data");
            w.WriteBinary(item.Picture.SaveToBlock());
        }
        if (item.SkipHeight != 0) {
            w.WritePropertyName("SkipHeight");
            w.WriteInteger(item.SkipHeight);
        }
        if (item.SkipWidth != 0) {
            w.WritePropertyName("SkipWidth");
            w.WriteInteger(item.SkipWidth);
        }
        w.WritePropertyName("SystemMemory");
        w.WriteBoolean(item.SystemMemory);
        w.WritePropertyName("Transparent");
        w.WriteBoolean(item.Transparent);
        w.WritePropertyName("TransparentColor");
        if (std::optional<std::string> ident = ColorToIdent(item.TransparentColor()))
            w.WriteIdent(*ident);
        else
            w.WriteInteger(static_cast<int32_t>(item.TransparentColor()));
        w.WriteListEnd();
    }
    w.WriteListEnd(); // collection
    w.WriteListEnd(); // root properties
    w.WriteListEnd(); // children
    w.EndResource();
    return std::move(w.Data());
}

} // namespace varnok
