#include "controller/text_chooser.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "model/chosen_files.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"

namespace cv {

TTextChooser::TTextChooser(uint8_t tool, QString tempFolder, QWidget* parent)
    : QDialog(parent), m_tool(tool), m_tempFolder(std::move(tempFolder))
{
    setWindowTitle(QStringLiteral("Choose texts for %1").arg(Tool_Name(tool)));
    setObjectName(QStringLiteral("TextChooser"));
    m_texts = std::make_unique<TCVFileDetails>(GetRestrictTo3LetterExtensions(),
                                               [this](const QString& message) { NoteProblem(message); });
    // The texts the tool has now.
    const QString handOver = TSharedChosenFilesClass::HandOverFilename(m_tempFolder, tool);
    if (QFileInfo(handOver).isFile())
        m_texts->ReadChosenFromFile(handOver);

    auto* column = new QVBoxLayout(this);
    auto* adding = new QHBoxLayout;
    AddFilesButton = new QPushButton(QStringLiteral("Add files..."));
    AddFolderButton = new QPushButton(QStringLiteral("Add folder..."));
    MaskEdit = new QLineEdit(QStringLiteral("*.txt"));
    MaskEdit->setToolTip(QStringLiteral("Which files of a folder are taken, e.g. *.txt or *.txt;*.htm"));
    MaskEdit->setMaximumWidth(160);
    SubfoldersBox = new QCheckBox(QStringLiteral("with subfolders"));
    SubfoldersBox->setChecked(true);
    adding->addWidget(AddFilesButton);
    adding->addWidget(AddFolderButton);
    adding->addWidget(new QLabel(QStringLiteral("files:")));
    adding->addWidget(MaskEdit);
    adding->addWidget(SubfoldersBox);
    adding->addStretch(1);
    column->addLayout(adding);

    TextList = new QListWidget;
    TextList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    TextList->setMinimumSize(560, 260);
    column->addWidget(TextList, 1);
    CountLabel = new QLabel;
    column->addWidget(CountLabel);
    ProblemLabel = new QLabel;
    ProblemLabel->setWordWrap(true);
    ProblemLabel->setStyleSheet(QStringLiteral("color: #a00000"));
    ProblemLabel->hide();
    column->addWidget(ProblemLabel);

    auto* bottom = new QHBoxLayout;
    RemoveButton = new QPushButton(QStringLiteral("Remove"));
    ClearButton = new QPushButton(QStringLiteral("Clear"));
    OkButton = new QPushButton(QStringLiteral("OK"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"));
    // Enter takes the choice (OK), also right after a file or folder dialog
    // returned the focus to the button that opened it.
    for (QPushButton* b : {AddFilesButton, AddFolderButton, RemoveButton, ClearButton, CancelButton})
        b->setAutoDefault(false);
    bottom->addWidget(RemoveButton);
    bottom->addWidget(ClearButton);
    bottom->addStretch(1);
    bottom->addWidget(OkButton);
    bottom->addWidget(CancelButton);
    column->addLayout(bottom);

    connect(AddFilesButton, &QPushButton::clicked, this, [this] {
        const QStringList files = QFileDialog::getOpenFileNames(
            this, QStringLiteral("Choose texts"), DialogStartFolder(),
            QStringLiteral("Texts (*.txt *.htm *.html *.xml *.zip);;All files (*)"));
        if (!files.isEmpty()) {
            SetLastOpenedFolder(QFileInfo(files.first()).absolutePath());
            AddFiles(files);
        }
    });
    connect(AddFolderButton, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Choose a folder of texts"),
                                                                 DialogStartFolder());
        if (!folder.isEmpty()) {
            SetLastOpenedFolder(folder);
            AddFolder(folder, MaskEdit->text(), SubfoldersBox->isChecked());
        }
    });
    connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveSelected(); });
    connect(ClearButton, &QPushButton::clicked, this, [this] { ClearAll(); });
    connect(OkButton, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(TextList, &QListWidget::itemSelectionChanged, this,
            [this] { RemoveButton->setEnabled(!TextList->selectedItems().isEmpty()); });
    ShowTexts();
}

TTextChooser::~TTextChooser() = default;

void TTextChooser::NoteProblem(const QString& message)
{
    m_problems << message;
    // The first few are shown; the count says how many there were.
    QStringList shown = m_problems.mid(0, 5);
    if (m_problems.size() > 5)
        shown << QStringLiteral("... and %1 more").arg(m_problems.size() - 5);
    ProblemLabel->setText(shown.join(u'\n'));
    ProblemLabel->show();
}

int TTextChooser::AddFiles(const QStringList& files)
{
    m_problems.clear();
    ProblemLabel->hide();
    const int before = m_texts->FileCount();
    for (const QString& f : files)
        m_texts->ToolAddAFile(f);
    ShowTexts();
    return m_texts->FileCount() - before;
}

int TTextChooser::AddFolder(const QString& folder, const QString& mask, bool subfolders)
{
    QStringList masks;
    for (const QString& m : mask.split(QRegularExpression(QStringLiteral("[;, ]+")), Qt::SkipEmptyParts))
        masks << m.trimmed();
    if (masks.isEmpty())
        masks << QStringLiteral("*");
    QStringList files;
    QDirIterator it(folder, masks, QDir::Files | QDir::Readable,
                    subfolders ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext())
        files << it.next();
    std::sort(files.begin(), files.end());
    const int added = AddFiles(files);
    if (files.isEmpty())
        NoteProblem(QStringLiteral("No file in \"%1\" matches %2.").arg(QDir::toNativeSeparators(folder), masks.join(u';')));
    return added;
}

void TTextChooser::RemoveSelected()
{
    std::vector<bool> out(size_t(m_texts->FileCount()), false);
    for (const QListWidgetItem* item : TextList->selectedItems())
        out[size_t(TextList->row(item))] = true;
    auto kept = std::make_unique<TCVFileDetails>(GetRestrictTo3LetterExtensions(),
                                                 [this](const QString& message) { NoteProblem(message); });
    kept->SetNotes(m_texts->Notes());
    for (int i = 0; i < m_texts->FileCount(); ++i) {
        TChosenTextRec rec;
        if (!out[size_t(i)] && m_texts->GetFullFileDetails(i, rec))
            kept->AddRecord(rec);
    }
    m_texts = std::move(kept);
    ShowTexts();
}

void TTextChooser::ClearAll()
{
    m_texts->ClearThem();
    ShowTexts();
}

QString TTextChooser::DialogStartFolder() const
{
    if (const QString last = GetLastOpenedFolder(); !last.isEmpty() && QFileInfo(last).isDir())
        return last;
    TChosenTextRec first;
    if (m_texts->FileCount() > 0 && m_texts->GetFullFileDetails(0, first))
        if (const QString folder = QFileInfo(first.FullFilename).absolutePath(); QFileInfo(folder).isDir())
            return folder;
    return QDir::homePath();
}

QStringList TTextChooser::Texts() const
{
    QStringList texts;
    for (int i = 0; i < TextList->count(); ++i)
        texts << TextList->item(i)->text();
    return texts;
}

void TTextChooser::ShowTexts()
{
    TextList->clear();
    for (int i = 0; i < m_texts->FileCount(); ++i) {
        TChosenTextRec rec;
        if (!m_texts->GetFullFileDetails(i, rec))
            continue;
        const QString name = QDir::toNativeSeparators(rec.FullFilename);
        TextList->addItem(rec.ZipEntryName.isEmpty() ? name : name + QLatin1Char('|') + rec.ZipEntryName);
    }
    const int n = m_texts->FileCount();
    CountLabel->setText(n == 1 ? QStringLiteral("1 text chosen") : QStringLiteral("%1 texts chosen").arg(n));
    RemoveButton->setEnabled(false);
    ClearButton->setEnabled(n > 0);
}

bool TTextChooser::WriteChoice()
{
    if (m_texts->FileCount() == 0) {
        NoteProblem(QStringLiteral("Choose at least one text (Add files or Add folder)."));
        return false;
    }
    QString error;
    if (!m_texts->SavedToTempFile(m_tempFolder, m_tool, &error)) {
        NoteProblem(QStringLiteral("The chosen texts cannot be handed over: %1").arg(error));
        return false;
    }
    return true;
}

void TTextChooser::OkClick()
{
    if (!WriteChoice())
        return;
    if (OnChosen)
        OnChosen();
    accept();
}

} // namespace cv
