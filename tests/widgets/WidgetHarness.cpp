#include "widgets/WidgetHarness.h"

#include "platform/engine/Engine.h"
#include "platform/engine/EngineIsolation.h"
#include "platform/settings/Ini.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DataControl.h"

#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QSettings>
#include <QTest>

#include <filesystem>
#include <map>

namespace orvtest {

namespace fs = std::filesystem;

AppFolder::AppFolder(const std::string& catalogue)
{
    if (!catalogue.empty())
        fs::copy_file(catalogue, dir_.path() / "tevox20.mdb");
}

void AppFolder::setIni(const std::string& section, const std::string& key, const std::string& value) const
{
    orv::WriteIni(iniPath(), section, key, value);
}

void AppFolder::saveFrame(int left, int top, int width, int height) const
{
    setIni("WINDOW", "LEFT", std::to_string(left));
    setIni("WINDOW", "TOP", std::to_string(top));
    setIni("WINDOW", "WIDTH", std::to_string(width));
    setIni("WINDOW", "HEIGHT", std::to_string(height));
}

std::string AppFolder::ini(const std::string& section, const std::string& key) const
{
    return orv::ReadIni(iniPath(), section, key, "<none>");
}

bool AppFolder::hasIni() const { return fs::exists(iniPath()); }

orv::XdgEnvironment TestXdgEnvironment()
{
    orv::XdgEnvironment env = orv::XdgEnvironmentOfProcess();
    env.dataHome = env.home + "/data";
    env.dataDirs = env.home + "/system-data";
    return env;
}

InstalledFolders::InstalledFolders()
{
    const orv::XdgEnvironment env = TestXdgEnvironment();
    userData_ = env.dataHome + "/orvantis";
    systemData_ = env.dataDirs + "/orvantis";
    config_ = env.configHome + "/orvantis";
    clear();
}

InstalledFolders::~InstalledFolders() { clear(); }

void InstalledFolders::clear() const
{
    std::error_code ec;
    for (const std::string& f : {userData_, systemData_, config_})
        fs::remove_all(f, ec);
}

void InstalledFolders::put(const std::string& dataFolder, const std::string& catalogue, const std::string& name) const
{
    fs::create_directories(dataFolder);
    fs::copy_file(catalogue, fs::path(dataFolder) / name, fs::copy_options::overwrite_existing);
}

std::string InstalledFolders::ini(const std::string& section, const std::string& key) const
{
    return orv::ReadIni(settingsPath(), section, key, "<none>");
}

int FakeShell::openFile(const std::string& file, const std::string& wd)
{
    calls->push_back({file, wd, false});
    return result;
}

int FakeShell::openFolder(const std::string& folder, const std::string& wd, std::string* program)
{
    calls->push_back({folder, wd, true});
    if (program)
        *program = "Explorer.exe";
    return result;
}

bool waitFor(const std::function<bool()>& cond, int ms) { return QTest::qWaitFor(cond, ms); }

void clearStoredDrive()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("MORVALEN"), QStringLiteral("Orvantis"));
    s.remove(QStringLiteral("SelPath"));
    s.sync();
}

Harness::Harness(const AppFolder& folder, const QString& commandLine, std::shared_ptr<orv::CatalogueSource> catalogue)
{
    orv::MsgBoxHook::install([this](const QString& text, orv::MsgStyle style) { messages.push_back({text, style}); });
    // The catalogue is read as the program reads it, in a child process.
    if (!catalogue)
        catalogue = std::make_shared<orv::IsolatedCatalogue>(ORV_QUERY_EXE);
    orv::StartupEnvironment env{QString::fromStdString(folder.path()), commandLine, std::move(catalogue),
                                TestXdgEnvironment(), ORV_QUERY_EXE};
    w_ = std::make_unique<orv::frmMain>(env);
    w_->setEndProgram([this] { ended = true; });
    auto fake = std::make_unique<FakeShell>(&shellCalls);
    shell = fake.get();
    w_->setShell(std::move(fake));
}

Harness::~Harness()
{
    w_.reset();
    orv::MsgBoxHook::remove();
    orv::FolderChooserHook::remove();
}

bool Harness::start()
{
    w_->show();
    // The first activation runs whole inside one event (the wait dialogs nest their own loops).
    return waitFor([this] { return ended || FirstActivationOver(*w_); });
}

QStringList Harness::messageTexts() const
{
    QStringList out;
    for (const auto& m : messages)
        out << m.text;
    return out;
}

int Harness::rowCount() const { return ctl<orv::DBGrid>(*w_, "DBGrid1")->model()->rowCount(); }

std::vector<int> Harness::shownRows() const
{
    std::vector<std::string> header;
    const auto csv = readFixtureCsv("tevox20.csv", &header);
    std::map<std::string, std::vector<int>> byKey;
    for (size_t r = csv.size(); r-- > 0;) {
        std::string key;
        for (const auto& cell : csv[r])
            key += cell.value_or("") + '\x1f';
        byKey[key].push_back(static_cast<int>(r) + 1);
    }
    std::vector<int> rows;
    const orv::Recordset* rs = ctl<orv::DataControl>(*w_, "Data1")->recordset();
    if (!rs)
        return rows;
    for (long row = 0; row < rs->RecordCount(); ++row) {
        std::string key;
        for (const auto& name : header)
            key += rs->ValueAt(row, rs->FieldIndex(name)).toText() + '\x1f';
        auto it = byKey.find(key);
        if (it == byKey.end() || it->second.empty()) {
            rows.push_back(-1);
            continue;
        }
        rows.push_back(it->second.back());
        it->second.pop_back();
    }
    return rows;
}

QStringList Harness::columnValues(int column) const
{
    QStringList out;
    auto* m = ctl<orv::DBGrid>(*w_, "DBGrid1")->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, column).data().toString();
    return out;
}

QStringList Harness::platformItems() const
{
    QStringList out;
    for (int i = 0; i < ctl<orv::ListBox>(*w_, "List1")->count(); ++i)
        out << ctl<orv::ListBox>(*w_, "List1")->item(i)->text();
    return out;
}

QStringList Harness::selectedPlatforms() const
{
    QStringList out;
    for (int i = 0; i < ctl<orv::ListBox>(*w_, "List1")->count(); ++i)
        if (ctl<orv::ListBox>(*w_, "List1")->item(i)->isSelected())
            out << ctl<orv::ListBox>(*w_, "List1")->item(i)->text();
    return out;
}

void Harness::selectPlatforms(const QStringList& names)
{
    for (int i = 0; i < ctl<orv::ListBox>(*w_, "List1")->count(); ++i)
        ctl<orv::ListBox>(*w_, "List1")
            ->item(i)
            ->setSelected(names.contains(ctl<orv::ListBox>(*w_, "List1")->item(i)->text()));
}

void Harness::clickHeader(int column)
{
    QHeaderView* h = ctl<orv::DBGrid>(*w_, "DBGrid1")->horizontalHeader();
    ctl<orv::DBGrid>(*w_, "DBGrid1")->scrollTo(ctl<orv::DBGrid>(*w_, "DBGrid1")->model()->index(0, column));
    const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
}

} // namespace orvtest
