// The feature commands' dialogs and text windows, alone and opened by the frame.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "shell/coocurrence_params_dlg.h"
#include "shell/feature_selection_dlg.h"
#include "shell/region_type_dlg.h"
#include "shell/text_window.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

// Three region features, then two cluster features.
CFeatureSelectionModel SmallSelection() {
    CFeatureSelectionModel model;
    model.entries = {{"Area", 1},
                     {"Area_mm", 0},
                     {"Inner_Perimeter", 1},
                     {"Regions_In_Cluster_Number", 1},
                     {"Regions_In_Cluster_Mean", 0}};
    model.secondGroup = 3;
    model.shapeMoments = true;
    model.moments = false;
    return model;
}

QStringList ListTexts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

std::vector<int> Flags(const CFeatureSelectionModel& model) {
    std::vector<int> flags;
    for (const auto& entry : model.entries) flags.push_back(entry.on);
    return flags;
}

void Toggle(QListWidgetItem* item) {
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

// Runs `act` on the modal dialog the frame opens, once it is shown.
template <typename Dialog, typename Act>
void WhenShown(Act act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

// ---------------------------------------------------------------- feature selection

TEST(FeatureSelectionDlg, ListsBothGroupsWithTheirBoxesAndTheSwitches) {
    const CFeatureSelectionDlg dialog(SmallSelection());
    EXPECT_EQ(dialog.windowTitle(), "Feature Selection");
    EXPECT_EQ(ListTexts(dialog.List()),
              (QStringList{"Area", "Area_mm", "Inner_Perimeter", "Cluster features",
                           "Regions_In_Cluster_Number", "Regions_In_Cluster_Mean"}));
    const Qt::CheckState expected[] = {Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Checked,
                                       Qt::Unchecked};
    for (int i = 0; i < 5; ++i) {
        ASSERT_NE(dialog.ItemOf(i), nullptr);
        EXPECT_EQ(dialog.ItemOf(i)->checkState(), expected[i]) << i;
        EXPECT_TRUE(dialog.ItemOf(i)->flags() & Qt::ItemIsUserCheckable);
    }
    EXPECT_EQ(dialog.ItemOf(5), nullptr);
    EXPECT_EQ(dialog.ItemOf(-1), nullptr);
    // The heading is no feature: it has no box to tick.
    EXPECT_FALSE(dialog.List()->item(3)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_EQ(dialog.ShapeMomentsBox()->text(), "shape moments");
    EXPECT_EQ(dialog.MomentsBox()->text(), "invariant moments");
    EXPECT_TRUE(dialog.ShapeMomentsBox()->isChecked());
    EXPECT_FALSE(dialog.MomentsBox()->isChecked());
    EXPECT_EQ(dialog.AllButton()->text(), "All");
    EXPECT_EQ(dialog.NoneButton()->text(), "None");
}

TEST(FeatureSelectionDlg, AGroupBoundaryOutOfRangeKeepsEveryName) {
    for (const int32_t second : {-4, 0, 5, 99}) {
        CFeatureSelectionModel model = SmallSelection();
        model.secondGroup = second;
        const CFeatureSelectionDlg dialog(model);
        EXPECT_EQ(ListTexts(dialog.List()),
                  (QStringList{"Area", "Area_mm", "Inner_Perimeter", "Regions_In_Cluster_Number",
                               "Regions_In_Cluster_Mean"}))
            << second;
    }
    const CFeatureSelectionDlg empty{CFeatureSelectionModel{}};
    EXPECT_EQ(empty.List()->count(), 0);
}

TEST(FeatureSelectionDlg, BoxesAndSwitchesChangeTheModel) {
    CFeatureSelectionDlg dialog(SmallSelection());
    Toggle(dialog.ItemOf(1));
    Toggle(dialog.ItemOf(3));
    EXPECT_EQ(Flags(dialog.Model()), (std::vector<int>{1, 1, 1, 0, 0}));
    // A click on the heading changes nothing.
    Toggle(dialog.List()->item(3));
    EXPECT_EQ(Flags(dialog.Model()), (std::vector<int>{1, 1, 1, 0, 0}));
    dialog.ShapeMomentsBox()->click();
    dialog.MomentsBox()->click();
    EXPECT_FALSE(dialog.Model().shapeMoments);
    EXPECT_TRUE(dialog.Model().moments);
}

TEST(FeatureSelectionDlg, ReturnInTheFilterDoesNotCloseTheDialog) {
    CFeatureSelectionDlg dialog(SmallSelection());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.FilterEdit()->setFocus();
    QTest::keyClicks(dialog.FilterEdit(), "mm");
    QTest::keyClick(dialog.FilterEdit(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(MainFrameTest, FeatureSelectionHandsBackTheBoxesOnlyOnOk) {
    for (const bool ok : {false, true}) {
        CFeatureSelectionModel model = SmallSelection();
        WhenShown<CFeatureSelectionDlg>([ok](CFeatureSelectionDlg& dialog) {
            Toggle(dialog.ItemOf(0));
            Toggle(dialog.ItemOf(4));
            dialog.MomentsBox()->click();
            ok ? dialog.accept() : dialog.reject();
        });
        EXPECT_EQ(frame->AskFeatureSelection(model), ok);
        EXPECT_EQ(Flags(model),
                  ok ? (std::vector<int>{0, 0, 1, 1, 1}) : (std::vector<int>{1, 0, 1, 1, 0}));
        EXPECT_EQ(model.moments, ok);
        EXPECT_TRUE(model.shapeMoments);
    }
}

// ---------------------------------------------------------------- region type

TEST_F(MainFrameTest, RegionTypeHandsBackBothFieldsOnlyOnOk) {
    for (const bool ok : {false, true}) {
        CRegionTypeModel model;
        model.type = "mass";
        model.detail = "left";
        WhenShown<CRegionTypeDlg>([ok](CRegionTypeDlg& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Region Type");
            EXPECT_EQ(dialog.TypeEdit()->text(), "mass");
            EXPECT_EQ(dialog.DetailEdit()->text(), "left");
            dialog.TypeEdit()->setText("calcification");
            dialog.DetailEdit()->setText("cluster 2");
            ok ? dialog.OkButton()->click() : dialog.reject();
        });
        EXPECT_EQ(frame->AskRegionType(model), ok);
        EXPECT_EQ(model.type, ok ? "calcification" : "mass");
        EXPECT_EQ(model.detail, ok ? "cluster 2" : "left");
    }
}

// ---------------------------------------------------------------- co-occurrence settings

TEST(CoocurrenceParamsDlg, ShowsTheFieldsWithTheModelsRanges) {
    CCoocurrenceParamsModel model;
    model.distance = 3;
    model.ring = 12;
    const CCoocurrenceParamsDlg dialog(model);
    EXPECT_EQ(dialog.windowTitle(), "Cooccurence Matrix Params");
    EXPECT_EQ(dialog.DistanceBox()->value(), 3);
    EXPECT_EQ(dialog.RingBox()->value(), 12);
    EXPECT_EQ(dialog.DistanceBox()->minimum(), 1);
    EXPECT_EQ(dialog.DistanceBox()->maximum(), CCoocurrenceParamsModel::kMaxDistance);
    EXPECT_EQ(dialog.RingBox()->minimum(), 0);
    EXPECT_EQ(dialog.RingBox()->maximum(), CCoocurrenceParamsModel::kMaxRing);
    // The labels of the two fields.
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (!label->text().isEmpty()) labels << label->text();
    EXPECT_TRUE(labels.contains("cooccurence distance")) << labels.join('|').toStdString();
    EXPECT_TRUE(labels.contains("square ring around object")) << labels.join('|').toStdString();
}

TEST_F(MainFrameTest, CoocurrenceParamsHandBackTheValuesOnlyOnOk) {
    for (const bool ok : {false, true}) {
        CCoocurrenceParamsModel model;
        model.distance = 2;
        model.ring = 5;
        WhenShown<CCoocurrenceParamsDlg>([ok](CCoocurrenceParamsDlg& dialog) {
            // Typed text not yet confirmed still counts.
            dialog.DistanceBox()->selectAll();
            QTest::keyClicks(dialog.DistanceBox(), "7");
            dialog.RingBox()->setValue(40);
            ok ? dialog.OkButton()->click() : dialog.reject();
        });
        EXPECT_EQ(frame->AskCoocurrenceParams(model), ok);
        EXPECT_EQ(model.distance, ok ? 7 : 2);
        EXPECT_EQ(model.ring, ok ? 40 : 5);
    }
}

// ---------------------------------------------------------------- text windows

TEST(TextWindow, ShowsTheTextReadOnlyInAFixedPitchFont) {
    const QString text = QStringLiteral(
        "BENIGN\nArea                           = 12.0000;         Area_mm                        "
        "= 0.0352\n");
    const CTextWindow window(QStringLiteral("mdb209 - CURRENT REGION FEATURES"), text);
    EXPECT_EQ(window.windowTitle(), "mdb209 - CURRENT REGION FEATURES");
    EXPECT_EQ(window.Text(), text);
    EXPECT_TRUE(window.Editor()->isReadOnly());
    EXPECT_TRUE(QFontInfo(window.Editor()->font()).fixedPitch());
    EXPECT_EQ(window.Editor()->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(window.Editor()->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_TRUE(window.Editor()->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    EXPECT_TRUE(window.isWindow());
    EXPECT_EQ(window.SaveButton()->text(), "Save...");
}

TEST(TextWindow, CopyTakesTheSelectionOrElseTheWholeText) {
    CTextWindow window(QStringLiteral("t"), QStringLiteral("first line\nsecond line"));
    window.CopyButton()->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "first line\nsecond line");
    QTextCursor cursor = window.Editor()->textCursor();
    cursor.setPosition(6);
    cursor.setPosition(17, QTextCursor::KeepAnchor);
    window.Editor()->setTextCursor(cursor);
    window.CopyButton()->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "line\nsecond");
}

TEST_F(MainFrameTest, TextWindowSavesItsTextAndAFailedSaveWritesNothing) {
    const QString text = QStringLiteral("GLCM IN ROI FEATURES:\nContrast_1_0 = 1.5\n\u00b5m\n");
    CTextWindow window(QStringLiteral("film/1 - SRDM"), text);
    const QString path = QString::fromStdString(Path("features.txt"));
    // Through "Save...": the file chosen in the dialog gets the text.
    WhenShown<QFileDialog>([path](QFileDialog& dialog) {
        // The title proposes a name a file can have.
        EXPECT_TRUE(dialog.selectedFiles().value(0).endsWith("/film_1 - SRDM.txt"))
            << dialog.selectedFiles().value(0).toStdString();
        dialog.selectFile(path);
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    window.SaveButton()->click();
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), text);
    saved.close();

    // Cancel writes nothing.
    const QString other = QString::fromStdString(Path("other.txt"));
    WhenShown<QFileDialog>([other](QFileDialog& dialog) {
        dialog.selectFile(other);
        QMetaObject::invokeMethod(&dialog, "reject");
    });
    window.SaveButton()->click();
    EXPECT_FALSE(QFile::exists(other));

    // A folder that does not exist: a message, nothing written, no crash.
    sink.messages.clear();
    EXPECT_FALSE(window.SaveTo(QString::fromStdString(Path("missing/x.txt"))));
    EXPECT_FALSE(sink.messages.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("missing/x.txt"))));
}

TEST_F(MainFrameTest, TextWindowsStayOpenSideBySideAndCloseWithTheFrame) {
    frame->ShowTextWindow("a - MEAN REGION FEATURES", "one");
    frame->ShowTextWindow("a - STD DEV REGION FEATURES", "two");
    std::vector<CTextWindow*> open = frame->TextWindows();
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0]->windowTitle(), "a - MEAN REGION FEATURES");
    EXPECT_EQ(open[1]->Text(), "two");
    EXPECT_TRUE(open[0]->isVisible() && open[1]->isVisible());
    EXPECT_FALSE(open[0]->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    QPointer<CTextWindow> first = open[0];
    first->CloseButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    ASSERT_EQ(frame->TextWindows().size(), 1u);
    EXPECT_EQ(frame->TextWindows()[0]->Text(), "two");

    QPointer<CTextWindow> second = frame->TextWindows()[0];
    frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
}

}  // namespace
}  // namespace vistrel
