#pragma once
// "Choose texts": the controller's window in which the user chooses the
// texts a tool works on: files (loose, zip archives, lists of names) and
// folders (with a mask, and their subfolders when asked), with the list of
// texts chosen shown and editable (remove, clear). "OK" writes the tool's
// chosen-texts hand-over file (docs/chosen-texts.md) and tells the caller,
// which then tells the tool (code 1241). The window opens with the texts
// the tool was last handed.

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace cv {

class TCVFileDetails;

class TTextChooser final : public QDialog {
    Q_OBJECT
public:
    // tool: whose hand-over file is read and written; tempFolder: where it lies.
    TTextChooser(uint8_t tool, QString tempFolder, QWidget* parent = nullptr);
    ~TTextChooser() override;

    uint8_t Tool() const { return m_tool; }
    // Called when OK wrote the hand-over file.
    std::function<void()> OnChosen;

    // Adds files (a zip archive: every text in it; a ".txt" list of names:
    // those names) and the texts of a folder that the mask takes (subfolders
    // too when asked). How many texts were added; names that cannot be
    // chosen are told below the list.
    int AddFiles(const QStringList& files);
    int AddFolder(const QString& folder, const QString& mask, bool subfolders);
    // Takes the texts selected in the list out; every text out.
    void RemoveSelected();
    void ClearAll();
    // The texts chosen, as the list shows them ("archive.zip|entry" for a text in an archive).
    QStringList Texts() const;
    // Writes the hand-over file; false (told in the window) when it cannot be written or no text is chosen.
    bool WriteChoice();
    // OK: WriteChoice, then OnChosen and close.
    void OkClick();
    // Where the file and folder dialogs open: the folder last opened, else
    // that of the first text chosen, else the user's home folder (never the
    // folder the controller happened to be started in).
    QString DialogStartFolder() const;

    QListWidget* TextList = nullptr;
    QLabel* CountLabel = nullptr;
    QLabel* ProblemLabel = nullptr;
    QLineEdit* MaskEdit = nullptr;
    QCheckBox* SubfoldersBox = nullptr;
    QPushButton* AddFilesButton = nullptr;
    QPushButton* AddFolderButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* ClearButton = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    void ShowTexts();
    void NoteProblem(const QString& message);

    uint8_t m_tool;
    QString m_tempFolder;
    std::unique_ptr<TCVFileDetails> m_texts;
    QStringList m_problems;
};

} // namespace cv
