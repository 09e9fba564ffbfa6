#pragma once
// A minimal XML writer for the XML copy of the report log: a tree of
// elements, each with a name, attributes, a text value and child elements,
// rendered as text indented two blanks per level and saved to a file. It
// only writes; it never parses.
//
// Attribute values and element values are escaped as numeric character
// references: every character that is not plain printable ASCII, and the
// five XML specials, becomes "&#" + its code (at least three digits) + ";".
// Control characters other than tab, line feed and carriage return, which an
// XML document cannot carry in any form, are written as "?". No XML
// declaration is written: the rendered text is pure ASCII apart from element
// and attribute names.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

class TXMLItem;

// Owned elements in order; destroying the list frees them from the last to the first.
class TXMLItems {
public:
    TXMLItems() = default;
    ~TXMLItems();
    TXMLItems(const TXMLItems&) = delete;
    TXMLItems& operator=(const TXMLItems&) = delete;

    // Creates and appends an element without setting its parent.
    TXMLItem* AddItem(const std::string& name);
    // Appends an element this list takes over.
    TXMLItem* Add(std::unique_ptr<TXMLItem> item);
    int Count() const { return int(m_items.size()); }
    TXMLItem* Item(int index) const { return m_items.at(std::size_t(index)).get(); }

private:
    std::vector<std::unique_ptr<TXMLItem>> m_items;
};

class TXMLItem {
public:
    // Empty value, attributes and indentation, no parent, no children.
    explicit TXMLItem(const std::string& name);
    ~TXMLItem() = default;
    TXMLItem(const TXMLItem&) = delete;
    TXMLItem& operator=(const TXMLItem&) = delete;

    const std::string& Name() const { return FName; }
    void SetName(const std::string& name) { FName = name; }
    const std::string& Value() const { return FValue; }
    // Stores the value and its escaped form (when it changed).
    void SetValue(const std::string& value);
    TXMLItem* Parent() const { return FParent; }
    const TXMLItems& Items() const { return FItems; }

    // A child at the end of the children, with this element as its parent.
    TXMLItem* AddItem(const std::string& name);
    // Appends the attribute name="escaped value"; attributes keep their order
    // and a name added twice is written twice.
    void AddField(const std::string& name, const std::string& value);

    // The rendered element and its descendants, lines ended by CR LF.
    std::string XMLText() const;
    // Writes XMLText to the file, every line ended by CR LF. False (and the
    // reason in error, when given) when the file cannot be written.
    bool SaveXMLToFile(const std::string& fileName, std::string* error = nullptr) const;

private:
    void Render(std::string& out) const;

    std::string FName;
    std::string FValue;
    std::string FEncodedValue;
    std::string FFields;
    mutable std::string FSpaces; // this element's indentation, set by its parent when rendered
    TXMLItems FItems;
    TXMLItem* FParent = nullptr;
};

// The escaped form of a text as the builder writes values and attributes.
std::string XMLEscape(std::string_view text);

} // namespace cv
