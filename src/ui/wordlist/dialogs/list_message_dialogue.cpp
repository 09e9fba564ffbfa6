#include "ui/wordlist/dialogs/list_message_dialogue.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "ui/framework/control_helpers.h"

namespace cv {
namespace {

constexpr int kMostLinesShown = 50;
constexpr int kHelpLemmaList = 2650;

// Caption and help topic by list kind (lemma, match, stop, relation words).
struct TListKindText {
    const char* caption; // the tool's name and the number of entries
    int helpContext;
};
constexpr TListKindText kKindTexts[4] = {
    {"%s: lemma list loaded, %d head words", kHelpLemmaList},
    {"%s: match list loaded, %d entries", 2660},
    {"%s: stop list loaded, %d entries", 2670},
    {"%s: relation words loaded, %d entries", 2830},
};

QColor ColourOf(int32_t value) { return QColor::fromRgb(QRgb(uint32_t(value) & 0xFFFFFFu)); }

int32_t RgbOf(const QColor& c) { return int32_t(c.rgb() & 0xFFFFFFu); }

class TColourLineDelegate final : public QStyledItemDelegate {
public:
    TColourLineDelegate(const TColourWideStringList& lines, QObject* parent)
        : QStyledItemDelegate(parent), m_lines(lines)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        painter->setFont(option.font);
        m_lines.DrawItem(*painter, option.rect, index.row(), -1, option.state);
        painter->restore();
    }

private:
    const TColourWideStringList& m_lines;
};

} // namespace

TColourWideStringList::TColourWideStringList()
{
    const QPalette palette = QApplication::palette();
    mydefault_colours.FontColour = RgbOf(palette.color(QPalette::Text));
    mydefault_colours.BrushColour = RgbOf(palette.color(QPalette::Base));
    mydefault_colours.HighlightFontColour = RgbOf(palette.color(QPalette::HighlightedText));
    mydefault_colours.HighlightBrushColour = RgbOf(palette.color(QPalette::Highlight));
}

void TColourWideStringList::Add(const QString& text, std::unique_ptr<TCanvasColourRec> colours)
{
    m_lines.push_back(TLine{text, std::move(colours)});
}

QString TColourWideStringList::ExpandTabbedWideString(const QString& text)
{
    QString out = text;
    return out.replace(u'\t', QStringLiteral("    "));
}

void TColourWideStringList::DrawItem(QPainter& canvas, const QRect& rect, int index, int imageIndex,
                                     QStyle::State state) const
{
    if (index < 0 || index >= Count())
        return;
    canvas.fillRect(rect, Qt::white);
    QColor textColour = Qt::black;
    if (const TCanvasColourRec* c = Colours(index)) {
        if (c->BrushColour != -1)
            canvas.fillRect(rect, ColourOf(c->BrushColour));
        if (c->FontColour != -1)
            textColour = ColourOf(c->FontColour);
    }
    const QFontMetrics metrics(canvas.font());
    const int twoChars = metrics.horizontalAdvance(QStringLiteral("XX"));
    const int blank = metrics.horizontalAdvance(u' ');
    int x = rect.left() + blank;
    if (!imagelist.empty() && imageIndex >= 0 && imageIndex < int(imagelist.size())) {
        const QPixmap& picture = imagelist[std::size_t(imageIndex)];
        canvas.drawPixmap(x, rect.top() + (rect.height() - picture.height()) / 2, picture);
        x += picture.width() + blank;
    }
    canvas.setPen(textColour);
    const QRect textArea(x, rect.top(), std::max(0, rect.right() - x), rect.height());
    if (with_numbers) {
        const QString number = QString::number(index + 1);
        canvas.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, number);
        x += std::max(twoChars, metrics.horizontalAdvance(number)) + blank;
    }
    canvas.drawText(QRect(x, rect.top(), std::max(0, rect.right() - x), rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                    ExpandTabbedWideString(Strings(index)));
    (void)state;
}

// ---------------------------------------------------------------------------

TWMessageDialogue::TWMessageDialogue(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("WMessageDialogue"), 0, true)
{
    setWindowTitle(QStringLiteral("Corvantis Tools"));
    ListBoxEntries = new QListWidget(this);
    ListBoxEntries->setObjectName(QStringLiteral("ListBoxEntries"));
    ListBoxEntries->setItemDelegate(new TColourLineDelegate(colourstrings, ListBoxEntries));
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonHelp = new QPushButton(QStringLiteral("Help"), this);
    ButtonOK->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListBoxEntries, 1);
    layout->addLayout(buttons);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { SetModalResult(kModalOK); });
    connect(ButtonHelp, &QPushButton::clicked, this, &TWMessageDialogue::ButtonHelpClick);
    resize(480, 360);
}

TWMessageDialogue::~TWMessageDialogue() = default;

void TWMessageDialogue::SetParams(int helpContext, bool showList, const QString& caption)
{
    SetHelpContextNumber(helpContext);
    setWindowTitle(caption);
    ListBoxEntries->setVisible(showList);
    const int height = GlobalImageHeight(this);
    for (int i = 0; i < ListBoxEntries->count(); ++i)
        ListBoxEntries->item(i)->setSizeHint(QSize(0, height + 4));
}

void TWMessageDialogue::AddToListbox(const QString& text, int32_t fontColour, int32_t brushColour)
{
    auto colours = std::make_unique<TCanvasColourRec>();
    colours->FontColour = fontColour;
    colours->BrushColour = brushColour;
    colourstrings.Add(text, std::move(colours));
    auto* item = new QListWidgetItem(text, ListBoxEntries);
    item->setSizeHint(QSize(0, GlobalImageHeight(this) + 4));
}

void TWMessageDialogue::ClearList()
{
    colourstrings.Clear();
    ListBoxEntries->clear();
}

void TWMessageDialogue::resizeEvent(QResizeEvent* event)
{
    TCVDialog::resizeEvent(event);
    ListBoxEntries->viewport()->update();
}

// ---------------------------------------------------------------------------

int ShowLemmaListInMessage(TWMessageDialogue& dialogue, uint8_t tool, TLemmatiserListKind kind)
{
    const TLemmatiser& lemmatiser = TLemmatiser::Instance();
    const bool lemmas = kind == TLemmatiserListKind::Lemma;
    const int count = lemmas ? lemmatiser.LemmaPairEntriesAltogether(tool) : lemmatiser.EntryCount(tool, kind);
    if (count <= 0)
        return 0;

    QFont font = dialogue.ListBoxEntries->font();
    const QString fontName = GetTextSettings().FontName().left(101);
    if (!fontName.isEmpty())
        font.setFamily(fontName);
    dialogue.ListBoxEntries->setFont(font);
    dialogue.ListBoxEntries->setUpdatesEnabled(false);
    dialogue.ClearList();

    const TListKindText& texts = kKindTexts[std::min<std::size_t>(std::size_t(kind), 3)];
    if (lemmas) {
        for (int i = 0; i < count && i < kMostLinesShown; ++i) {
            const QString head = lemmatiser.LemmaHeadWords(tool, i);
            dialogue.AddToListbox(head + QStringLiteral(" (") + lemmatiser.LemmaVariantsOf(tool, head).join(QStringLiteral(", ")) +
                                  u')');
        }
    } else {
        lemmatiser.TraverseListDoing(tool, kind, [&](const QString& line, int number) {
            dialogue.AddToListbox(line);
            return number < kMostLinesShown;
        });
    }
    if (count > kMostLinesShown)
        dialogue.AddToListbox(QStringLiteral("etc."));
    dialogue.ListBoxEntries->setUpdatesEnabled(true);
    dialogue.SetParams(texts.helpContext, true, Format(texts.caption, {Tool_Name(tool), count}));
    dialogue.open();
    return count;
}

} // namespace cv
