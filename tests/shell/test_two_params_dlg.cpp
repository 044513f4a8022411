// The two-field parameter dialog: fields from the model, values handed back
// only on OK, and values outside the model's range refused.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "shell/two_params_dlg.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

CTwoParamsModel ClusterLike() {
    return {"Cluster",
            {"cluster diameter [cm]", 1.25, 0.01, 10.0, 2},
            {"min objects in cluster", 3.0, 1.0, 1000.0, 0}};
}

TEST(TwoParamsDlg, ShowsEachFieldWithItsKindRangeAndValue) {
    const CTwoParamsDlg dialog(ClusterLike());
    EXPECT_EQ(dialog.windowTitle(), "Cluster");
    auto* diameter = qobject_cast<QDoubleSpinBox*>(dialog.FieldBox(0));
    ASSERT_NE(diameter, nullptr);
    EXPECT_EQ(diameter->decimals(), 2);
    EXPECT_DOUBLE_EQ(diameter->minimum(), 0.01);
    EXPECT_DOUBLE_EQ(diameter->maximum(), 10.0);
    EXPECT_DOUBLE_EQ(diameter->value(), 1.25);
    auto* objects = qobject_cast<QSpinBox*>(dialog.FieldBox(1));
    ASSERT_NE(objects, nullptr) << "a field without decimals takes whole numbers";
    EXPECT_EQ(objects->minimum(), 1);
    EXPECT_EQ(objects->maximum(), 1000);
    EXPECT_EQ(objects->value(), 3);
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (!label->text().isEmpty()) labels << label->text();
    EXPECT_TRUE(labels.contains("cluster diameter [cm]")) << labels.join('|').toStdString();
    EXPECT_TRUE(labels.contains("min objects in cluster")) << labels.join('|').toStdString();
    EXPECT_FALSE(dialog.ProblemLabel()->isVisibleTo(&dialog));
}

TEST(TwoParamsDlg, OkIsRefusedWhileAValueIsOutsideTheModelsRange) {
    // The box rounds its minimum to one decimal (0.0); the model still wants 0.04.
    CTwoParamsModel model{"Rejected - Separated objects in clusters",
                          {"separation diameter [cm]", 0.5, 0.04, 1.0, 1},
                          {"min separated objects", 2.0, 0.0, 10.0, 0}};
    CTwoParamsDlg dialog(model);
    dialog.SetFieldValue(0, 0.0);
    dialog.SetFieldValue(1, 4.0);
    dialog.OkButton()->click();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.ProblemLabel()->isVisibleTo(&dialog));
    CTwoParamsModel typed = model;
    typed.fields[0].value = 0.0;
    EXPECT_EQ(dialog.ProblemLabel()->text().toStdString(), typed.Problem());
    EXPECT_DOUBLE_EQ(dialog.Model().fields[0].value, 0.5);  // nothing taken
    EXPECT_DOUBLE_EQ(dialog.Model().fields[1].value, 2.0);

    dialog.SetFieldValue(0, 0.3);
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_DOUBLE_EQ(dialog.Model().fields[0].value, 0.3);
    EXPECT_DOUBLE_EQ(dialog.Model().fields[1].value, 4.0);
}

TEST_F(MainFrameTest, TwoParamsHandBackTheValuesOnlyOnOk) {
    for (const bool ok : {false, true}) {
        CTwoParamsModel model = ClusterLike();
        QTimer::singleShot(0, [ok] {
            auto* dialog = qobject_cast<CTwoParamsDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            // Typed text not yet confirmed still counts.
            auto* diameter = static_cast<QDoubleSpinBox*>(dialog->FieldBox(0));
            diameter->selectAll();
            QTest::keyClicks(diameter, "2.5");
            dialog->SetFieldValue(1, 7);
            ok ? dialog->OkButton()->click() : dialog->reject();
        });
        EXPECT_EQ(frame->AskTwoParams(model), ok);
        EXPECT_DOUBLE_EQ(model.fields[0].value, ok ? 2.5 : 1.25);
        EXPECT_DOUBLE_EQ(model.fields[1].value, ok ? 7.0 : 3.0);
    }
}

}  // namespace
}  // namespace vistrel
