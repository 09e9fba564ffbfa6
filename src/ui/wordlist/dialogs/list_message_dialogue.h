#pragma once
// A message window that shows a list of coloured lines (each with an
// optional picture and line number) under a caption; the tool shows the
// entries of a loaded lemma, match, stop or relation-word list in it.

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QStyle>

#include <cstdint>
#include <memory>
#include <vector>

#include "suite/list_settings.h"
#include "ui/framework/dialog_base/dialog_support.h"

class QListWidget;
class QPainter;
class QPushButton;
class QRect;

namespace cv {

// Font and brush colours of a line, and of a highlighted line; -1 keeps the
// default. Colours are 0xRRGGBB.
struct TCanvasColourRec {
    int32_t FontColour = -1;
    int32_t BrushColour = -1;
    int32_t HighlightFontColour = -1;
    int32_t HighlightBrushColour = -1;
};

// A string list whose lines may carry colours and that draws its own lines.
class TColourWideStringList final {
public:
    // The default colours are the style's text colours at creation.
    TColourWideStringList();

    TCanvasColourRec mydefault_colours;
    std::vector<QPixmap> imagelist; // pictures drawn at the left of lines; empty: none
    bool with_numbers = false;      // draw the 1-based line number before the text

    int Count() const { return int(m_lines.size()); }
    QString Strings(int i) const { return m_lines.at(std::size_t(i)).text; }
    // The line's colours, or null when it keeps the defaults.
    const TCanvasColourRec* Colours(int i) const { return m_lines.at(std::size_t(i)).colours.get(); }
    void Add(const QString& text, std::unique_ptr<TCanvasColourRec> colours = nullptr);
    void Clear() { m_lines.clear(); }

    // Draws line `index` into the rectangle: white with black text, the
    // picture (when there are pictures and imageIndex >= 0), the number (when
    // with_numbers), the line's own colours where it sets them, the text with
    // its tabs expanded. An index outside the list draws nothing.
    void DrawItem(QPainter& canvas, const QRect& rect, int index, int imageIndex, QStyle::State state) const;

    // Tabs become four blanks.
    static QString ExpandTabbedWideString(const QString& text);

private:
    struct TLine {
        QString text;
        std::unique_ptr<TCanvasColourRec> colours;
    };
    std::vector<TLine> m_lines;
};

class TWMessageDialogue final : public TCVDialog {
    Q_OBJECT
public:
    explicit TWMessageDialogue(QWidget* parent = nullptr);
    ~TWMessageDialogue() override;

    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;
    QListWidget* ListBoxEntries;
    TColourWideStringList colourstrings;

    // The help context and caption; the list shown or hidden.
    void SetParams(int helpContext, bool showList, const QString& caption);
    // A line with its colours (-1: the default).
    void AddToListbox(const QString& text, int32_t fontColour = -1, int32_t brushColour = -1);
    void ClearList();

protected:
    void resizeEvent(QResizeEvent* event) override;
};

// Fills the dialogue with the entries of the tool's loaded list of that kind
// (at most 50 lines: a lemma list's head words with their forms, "head
// (form, form)", other lists' entries, then "etc." when there are more) and
// shows it without waiting. Returns the number of entries (head words of a
// lemma list); 0 shows nothing.
int ShowLemmaListInMessage(TWMessageDialogue& dialogue, uint8_t tool, TLemmatiserListKind kind);

} // namespace cv
