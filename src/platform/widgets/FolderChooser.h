// The folder chooser of the drive button: the mounted discs and removable volumes first, then the
// home folder and the root, each shown as a tree of its folders. Every text is Japanese, only
// folders can be chosen, and it keeps no settings of its own (the toolkit's own file dialog writes
// them outside the program's folders).
#pragma once

#include "platform/disc/MountList.h"

#include <QDialog>
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
    FolderChooser(QWidget* owner, const QString& title, const std::vector<ChooserPlace>& places);

    // The folder chosen so far: the folder selected in the tree, else the place itself.
    QString chosenFolder() const;

    // The places the chooser offers on this system (the mount table of the process).
    static std::vector<ChooserPlace> systemPlaces();

private:
    void showPlace(int row);
    void showChoice();

    std::vector<ChooserPlace> placeData_;
    QListWidget* places_;
    QTreeView* tree_;
    QFileSystemModel* model_;
    QLineEdit* path_;
    QPushButton* ok_;
};

} // namespace orv
