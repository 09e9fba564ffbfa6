#include "ui/wordlist/dialogs/index_dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "index/index_files.h"
#include "index/index_handler.h" // the opening modes
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/wdef.h"

namespace cv {
namespace {

constexpr int kHelpIndexChoices = 2800;
constexpr int kHelpIndexExport = 5440;

QString TokensFileOf(const QString& anyName)
{
    return IndexFileName(IndexBaseName(anyName), TIndexFileKind::Tokens);
}


} // namespace

TFormIndexChoices::TFormIndexChoices(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormIndexChoices"), kHelpIndexChoices)
{
    setWindowTitle(QStringLiteral("Index Choices"));
    ElFileNameEditIndexname = new TFileNameEdit(TFileNameEdit::TMode::SaveFile, this);
    ElFileNameEditIndexname->setObjectName(QStringLiteral("ElFileNameEditIndexname"));
    ElFileNameEditIndexname->Filter = LimitedDefaultFilter(kListIndexWordList);
    ElFileNameEditIndexname->DefaultExt = WithoutDotDefaultExt(kListIndexWordList);
    ElFileNameEditIndexname->InitialDir = FolderForNewFiles();
    RadioGroupOptions = new TRadioGroup(QStringLiteral("Options"),
                                        {QStringLiteral("delete existing index and start a new one"),
                                         QStringLiteral("backup existing index and add to it"),
                                         QStringLiteral("add to existing index without backing it up")},
                                        this);
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonHelp = new QPushButton(QStringLiteral("Help"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("index file name"), this));
    layout->addWidget(ElFileNameEditIndexname);
    layout->addWidget(RadioGroupOptions);
    layout->addLayout(OkHelpButtonRow(ButtonOK, ButtonHelp));
    connect(ButtonOK, &QPushButton::clicked, this, &TFormIndexChoices::ButtonOKClick);
    connect(ButtonHelp, &QPushButton::clicked, this, &TFormIndexChoices::ButtonHelpClick);

    const QString last = GetLastUsedFile(kListIndexWordList);
    if (!last.isEmpty())
        ElFileNameEditIndexname->SetText(TokensFileOf(last));
    IndexFileOpeningMode = kIndexOpenNew;
    if (!ElFileNameEditIndexname->Text().isEmpty() && QFileInfo::exists(ElFileNameEditIndexname->Text()))
        index_choices = 1;
}

void TFormIndexChoices::FormShow()
{
    RadioGroupOptions->SetItemIndex(index_choices);
    const QString name = ElFileNameEditIndexname->Text().trimmed();
    if (!QFileInfo::exists(IndexFileName(IndexBaseName(name), TIndexFileKind::Types))) {
        TDialogRequest notice;
        notice.routine = QStringLiteral("IndexFilenameNeeded");
        notice.caption = windowTitle();
        notice.text = QStringLiteral("Name the index's files here: a new index is made under that name, "
                                     "or the texts are added to the index of that name.");
        notice.helpContext = kHelpIndexChoices;
        ShowDialog(notice);
    }
}

void TFormIndexChoices::ButtonOKClick()
{
    const QString name = ElFileNameEditIndexname->Text().trimmed();
    if (LoggingIsOn()) {
        const QString folder = QFileInfo(name).path() + u'/' + QFileInfo(name).completeBaseName();
        AddToLogFile(QStringLiteral("Index file = %1").arg(name));
        AddToLogFile(name + (QFileInfo::exists(name) ? QStringLiteral(" exists already") : QStringLiteral(" doesn't exist yet")));
        AddToLogFile(QStringLiteral("The folder ") + folder +
                     (QFileInfo(folder).isDir() ? QStringLiteral(" exists already") : QStringLiteral(" doesn't exist")));
    }
    // Without a name nothing could be deleted, backed up or made safely.
    if (name.isEmpty()) {
        ProvideAFilenameOrCancel();
        return;
    }
    SetLastUsedFile(kListIndexWordList, name);

    const int choice = RadioGroupOptions->ItemIndex();
    if (choice < 0) {
        SetModalResult(kModalOK);
        return;
    }
    QString error;
    switch (choice) {
    case 0:
        if (!TryToDeleteIndexFiles(name, &error)) {
            ReportedAFact(error, kHelpIndexChoices);
            return;
        }
        IndexFileOpeningMode = kIndexOpenNew;
        break;
    case 1:
        if (!TryToBackupIndexFiles(name, &error)) {
            ReportedAFact(error, kHelpIndexChoices);
            return;
        }
        IndexFileOpeningMode = kIndexOpenAdd;
        break;
    default:
        IndexFileOpeningMode = kIndexOpenAdd;
        break;
    }
    index_choices = uint8_t(choice);
    SetModalResult(kModalOK);
}

// ---------------------------------------------------------------------------

TFormIndexExport::TFormIndexExport(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormIndexExport"), kHelpIndexExport)
{
    setWindowTitle(QStringLiteral("Export from Index"));
    ElFileNameEdit1 = new TFileNameEdit(TFileNameEdit::TMode::SaveFile, this);
    ElFileNameEdit1->setObjectName(QStringLiteral("ElFileNameEdit1"));
    ElFileNameEdit1->Filter = QStringLiteral("Text files (*.txt)");
    ElFileNameEdit1->DefaultExt = QStringLiteral("txt");
    ElFileNameEdit1->InitialDir = FolderForNewFiles();
    ElEditWordToSeek = new QLineEdit(this);
    ElEditWordToSeek->setObjectName(QStringLiteral("ElEditWordToSeek"));
    ElCheckBoxExportSentenceLengths = new QCheckBox(QStringLiteral("export sentence lengths"), this);
    ElPopupButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ElPopupButtonHelp = new QPushButton(QStringLiteral("Help"), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("file to export to"), ElFileNameEdit1);
    form->addRow(QStringLiteral("word details "), ElEditWordToSeek);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ElCheckBoxExportSentenceLengths);
    layout->addLayout(OkHelpButtonRow(ElPopupButtonOK, ElPopupButtonHelp));
    connect(ElPopupButtonOK, &QPushButton::clicked, this, &TFormIndexExport::ElPopupButtonOKClick);
    connect(ElPopupButtonHelp, &QPushButton::clicked, this, &TFormIndexExport::ButtonHelpClick);
}

void TFormIndexExport::ElPopupButtonOKClick()
{
    const QString name = ElFileNameEdit1->Text().trimmed();
    if (name.isEmpty()) {
        ProvideAFilenameOrCancel();
        return;
    }
    if (!OKToOverwriteWithBackup(name))
        return;
    if (QFileInfo::exists(name)) {
        const QString backup = name + QStringLiteral(".bak");
        QFile::remove(backup);
        if (!QFile::copy(name, backup)) {
            CannotWriteToXFolder(QFileInfo(backup).absolutePath());
            return;
        }
    }
    SetModalResult(kModalOK);
}

} // namespace cv
