// The folder chooser of the drive button: the mounted discs and removable volumes first, then the
// home folder and the root, each shown as a tree of its folders. Every text is Japanese, only
// folders can be chosen, and it keeps no settings of its own (the toolkit's own file dialog writes
// them outside the program's folders). It opens with the folder chosen before (the saved drive)
// selected and in view, so that OK keeps it; with none, nothing is chosen until the user chooses.
// A folder may also be typed or pasted into its フォルダ field.
#pragma once

#include "platform/disc/MountList.h"

#include <QDialog>
#include <QPersistentModelIndex>
#include <QString>
#include <vector>

class QFileSystemModel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeView;

namespace orv {

class FolderChooser : public QDialog {
    Q_OBJECT
public:
    // selected: the folder chosen before, shown selected; empty (or not a folder) for none.
    FolderChooser(QWidget* owner, const QString& title, const std::vector<ChooserPlace>& places,
                  const QString& selected = {});

    // The folder chosen so far, as the フォルダ field holds it (a folder selected in the tree or a
    // place, or what was typed), as an absolute path; empty for none.
    QString chosenFolder() const;

    // OK: the chosen folder, when it is one; else a message, and the chooser stays open.
    void accept() override;
    static QString MissingFolderMessage(const QString& typed);

    // The places the chooser offers on this system (the mount table of the process).
    static std::vector<ChooserPlace> systemPlaces();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void showPlace(int row);
    void showChoice();
    void selectFolder(const QString& folder);
    QString shownPlacePath() const;

    std::vector<ChooserPlace> placeData_;
    QListWidget* places_;
    QTreeView* tree_;
    QFileSystemModel* model_;
    QLineEdit* path_;
    QPushButton* ok_;
    QPersistentModelIndex inView_; // the folder selected when the chooser opened
};

} // namespace orv
