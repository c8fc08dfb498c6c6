#include "tests/app/ui/MainWindowFixture.h"
#include "tests/support/VolumeBuilder.h"

#include <QLabel>
#include <QTreeWidget>

namespace tamberlane::ui {
namespace {

using test::name83;
using test::VolumeBuilder;

class VolumeCheckWindowTest : public MainWindowTest {
  protected:
    // A lost chain on a volume whose second FAT copy is blank: opened read-only, with the
    // banner's offer, and two kinds of problem.
    void openDamagedVolume() {
        VolumeBuilder built;
        built.addFile(built.root(), name83("KEEP.TXT"), bytesOf("kept"));
        built.setFAT(100, 101);
        built.setFAT(101, 0xFFF);
        Bytes volume = built.build();
        std::fill_n(volume.begin() + 10 * 512, 9 * 512, std::uint8_t{0});
        const auto path = images.path() / "damaged.img";
        writeFile(path, volume);
        app->openFiles(QStringList{QString::fromStdString(path.string())});
        settle();
    }
    QPushButton* bannerOffer() {
        return window().findChild<QPushButton*>(QStringLiteral("checkVolume"));
    }
    static QTreeWidgetItem* problemRow(QTreeWidget* tree, int group) {
        return tree->topLevelItem(group)->child(0);
    }
};

// Catches a banner that does not offer the way out of the refusal, a window that does not
// list the problems by kind, and a repair button that repairs nothing.
TEST_F(VolumeCheckWindowTest, TheBannersOfferOpensTheProblemsByKindAndRepairMakesTheImageWritable) {
    openDamagedVolume();
    ASSERT_TRUE(state().image().isReadOnly);
    ASSERT_NE(bannerOffer(), nullptr);
    ASSERT_TRUE(bannerOffer()->isVisible());

    QTest::mouseClick(bannerOffer(), Qt::LeftButton);
    settle();
    QDialog* dialog = window().raisedDialog("volumeCheck");
    ASSERT_NE(dialog, nullptr);
    auto* tree = dialog->findChild<QTreeWidget*>(QStringLiteral("problems"));
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_TRUE(tree->topLevelItem(0)->text(0).startsWith(QStringLiteral("FATのコピーの不一致")));
    EXPECT_TRUE(tree->topLevelItem(1)->text(0).startsWith(
        QStringLiteral("どのファイルにも属さないチェーン")));
    EXPECT_EQ(problemRow(tree, 1)->checkState(0), Qt::Checked);

    auto* repair = dialog->findChild<QPushButton*>(QStringLiteral("repair"));
    ASSERT_TRUE(repair->isEnabled());
    QTest::mouseClick(repair, Qt::LeftButton);
    settle();
    EXPECT_FALSE(state().image().isReadOnly);
    EXPECT_FALSE(bannerOffer()->isVisible());
    EXPECT_FALSE(repair->isEnabled());
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"FOUND.000", "KEEP.TXT"}));
}

// Catches a tick in the window that does not reach the rule of the FAT copies, and a
// repair button left on, with no reason shown, when nothing is chosen.
TEST_F(VolumeCheckWindowTest, UntickingTheFatCopyUnticksTheRestAndSaysWhyRepairIsOff) {
    openDamagedVolume();
    state().openVolumeCheck();
    settle();
    QDialog* dialog = window().raisedDialog("volumeCheck");
    ASSERT_NE(dialog, nullptr);
    auto* tree = dialog->findChild<QTreeWidget*>(QStringLiteral("problems"));
    ASSERT_EQ(tree->topLevelItemCount(), 2);

    problemRow(tree, 0)->setCheckState(0, Qt::Unchecked);
    settle();
    EXPECT_EQ(problemRow(tree, 1)->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(dialog->findChild<QPushButton*>(QStringLiteral("repair"))->isEnabled());
    auto* reason = dialog->findChild<QLabel*>(QStringLiteral("repairReason"));
    EXPECT_TRUE(reason->isVisible());
    EXPECT_EQ(reason->text(), QStringLiteral("修復する問題が選ばれていません"));

    problemRow(tree, 1)->setCheckState(0, Qt::Checked);
    settle();
    EXPECT_EQ(problemRow(tree, 0)->checkState(0), Qt::Checked);
    EXPECT_TRUE(dialog->findChild<QPushButton*>(QStringLiteral("repair"))->isEnabled());
}

} // namespace
} // namespace tamberlane::ui
