// The search conditions: the new-mark, platform, keyword and negative-word frames (Frame7, Frame6,
// Frame2, Frame3) with their enable checks, and the reset and search buttons (Command5, Command1).
// It reads, resets and restores the conditions and fills the platform list; the catalogue runs the
// search it asks for.
#pragma once

#include "search/PlatformList.h"
#include "search/SearchConditions.h"

#include <QObject>
#include <QWidgetList>
#include <array>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orv {

class Frame;
class ListBox;

class SearchPanel : public QObject, public PlatformList {
    Q_OBJECT
public:
    explicit SearchPanel(QObject* parent);

    // Makes the controls in the top band.
    void Build(QWidget* band);
    QWidgetList focusOrder() const;

    SearchConditions ReadConditions() const; // without the CD volume, which the catalogue adds
    // The conditions the settings file kept; the platforms are chosen once the list is filled.
    void RestoreConditions(const SearchConditions& c);
    bool platformsOffered() const; // the list holds platforms to choose from
    void FocusKeywords();

    void Command1_Click();
    void Command5_Click();

    void ClearPlatforms() override;
    void AddPlatform(const std::string& name, long count) override;
    void PlatformsAdded() override;

signals:
    void searchRequested(const SearchConditions& c);
    // The conditions were reset: the volume selector goes back to ALL.
    void conditionsReset();

private:
    void NameControls(); // names and descriptions for assistive technology

    Frame* Frame7 = nullptr;
    std::array<QRadioButton*, 3> optNew{};
    Frame* Frame6 = nullptr;
    std::array<QCheckBox*, 3> Check1{};
    ListBox* List1 = nullptr;
    Frame* Frame2 = nullptr;
    std::array<QLineEdit*, 1> txtStrGame{};
    std::array<QRadioButton*, 2> optGame{};
    std::array<QCheckBox*, 4> chkFind1{};
    Frame* Frame3 = nullptr;
    std::array<QLineEdit*, 1> txtStrMaker{};
    std::array<QRadioButton*, 2> optMaker{};
    std::array<QCheckBox*, 4> chkFind2{};
    QPushButton* Command5 = nullptr;
    QPushButton* Command1 = nullptr;

    std::vector<std::string> platformSelection_;
};

} // namespace orv
