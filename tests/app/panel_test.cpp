#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <fstream>
#include <memory>

#include "app/about_dialog.h"
#include "app/control_panel.h"
#include "app/dialog_units.h"
#include "app/warnings_window.h"
#include "scene/scene.h"
#include "test_support.h"
#include "tests/support/test_env.h"

namespace {

using tessel::testing::modal_handler;

class Panel : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tessel::testing::ensure_application();
        // These tests drive the tick by hand and never open the GL window.
        tessel::glWindowStarted = true;
    }

    void SetUp() override {
        tessel::testing::clear_settings();
        panel = std::make_unique<CControlPanel>(shown);
        panel->OnInitDialog();
    }

    template <class T>
    T* control(int id) const {
        return panel->findChild<T*>(QString::number(id));
    }
    QLineEdit* edit(int id) const { return control<QLineEdit>(id); }

    // Puts text into an edit as a program would, without the change
    // notification a user's typing gives.
    void put_text(int id, const QString& text) const {
        QSignalBlocker quiet(edit(id));
        edit(id)->setText(text);
    }

    // Selects everything in an edit and types over it.
    void type_into(int id, const QString& text) const {
        QLineEdit* target = edit(id);
        target->selectAll();
        if (text.isEmpty()) {
            QTest::keyClick(target, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(target, text);
        }
    }

    tessel::gl_content shown;  // what the panel loads, steers and shows; before the panel, which refers to it
    std::unique_ptr<CControlPanel> panel;
};

// Closes whatever modal window appears, noting the text of message boxes.
struct box_closer {
    QStringList texts;
    modal_handler handler{[this](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) texts << box->text();
        QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
    }};
};

TEST_F(Panel, OpensWithCentredTranslationsEmptyBarsAndUnitAttenuations) {
    EXPECT_EQ(panel->windowTitle(), "tessel");
    EXPECT_EQ(edit(1003)->text(), "1");
    EXPECT_EQ(edit(1014)->text(), "1");
    for (int id : {1008, 1009, 1010}) EXPECT_EQ(control<CSliderCtrl>(id)->GetPos(), 50) << id;
    for (int id : {1011, 1012, 1013, 1015, 1016, 1017}) EXPECT_EQ(control<CSliderCtrl>(id)->GetPos(), 0) << id;
    for (int id : {1006, 1007}) EXPECT_EQ(control<CProgressCtrl>(id)->GetPos(), 0) << id;
    for (int id : {1018, 1019}) EXPECT_EQ(control<CSpinButtonCtrl>(id)->GetPos(), 0x1FFFF) << id;
    EXPECT_FALSE(panel->windowIcon().isNull());
}

TEST_F(Panel, EveryControlIsBoundToItsMember) {
    const std::pair<int, QWidget*> bound[] = {
        {1019, panel->m_spinScaleAtt},   {1018, panel->m_spinTranslateAtt}, {1017, panel->m_sliderScaleZ},
        {1016, panel->m_sliderScaleY},   {1015, panel->m_sliderScaleX},     {1013, panel->m_sliderRotZ},
        {1012, panel->m_sliderRotY},     {1011, panel->m_sliderRotX},       {1010, panel->m_sliderTransZ},
        {1009, panel->m_sliderTransY},   {1008, panel->m_sliderTransX},     {1007, panel->m_progressRead},
        {1006, panel->m_progressProcess}, {1001, panel->m_fileDialog},
    };
    for (const auto& [id, member] : bound) {
        ASSERT_NE(member, nullptr) << id;
        EXPECT_EQ(member->objectName(), QString::number(id));
    }
    EXPECT_FALSE(panel->m_fileDialog->isVisible());
}

TEST_F(Panel, ShowsEveryTextAsWritten) {
    QStringList labels;
    for (const QLabel* label : panel->findChildren<QLabel*>()) labels << label->text();
    for (const char* text : {"VRML TESSALO V 1.0", "L\u00e9cture du fichier", "Traitement", "X-Translate",
                             "Y-Translate", "Z-Translate", "Scale Attenuation", "X-Rotation", "Y--Rotation",
                             "Z--Rotation", "Translate Attenuation", "X-Scale", "Y-Scale", "Z-Scale"}) {
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
    }

    QStringList menus;
    for (QAction* action : panel->findChild<QMenuBar*>()->actions()) menus << action->text();
    EXPECT_EQ(menus, (QStringList{"&Fichier", "&Vue", "&Animation", "&?"}));
    EXPECT_EQ(panel->findChild<QAction*>("32773")->text(), "Vue initiale");
    EXPECT_EQ(panel->findChild<QAction*>("32774")->text(), "Cadrer");
    const QAction* open = panel->findChild<QAction*>("32771");
    const QAction* quit = panel->findChild<QAction*>("32772");
    const QAction* about = panel->findChild<QAction*>("16");
    ASSERT_TRUE(open && quit && about);
    EXPECT_EQ(open->text(), "&Ouvrir");
    EXPECT_EQ(open->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(quit->text(), "&Quitter");
    EXPECT_EQ(quit->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(about->text(), "&A propos de tessel...");
}

TEST_F(Panel, LaysOutControlsInDialogUnitsOfItsFont) {
    const tessel::dialog_units du = tessel::dialog_units_for(panel->font());
    ASSERT_GT(du.base_x, 1);
    ASSERT_GT(du.base_y, 1);
    EXPECT_EQ(panel->m_sliderTransX->geometry(), du.rect(53, 89, 123, 11));
    EXPECT_EQ(panel->m_sliderRotX->geometry(), du.rect(54, 191, 122, 11));
    EXPECT_EQ(panel->m_spinTranslateAtt->geometry(), du.rect(163, 76, 7, 13));
    EXPECT_EQ(edit(1003)->geometry(), du.rect(133, 129, 30, 12));
    EXPECT_EQ(panel->m_sliderTransX->parentWidget()->size(), du.rect(0, 0, 183, 261).size());
    // Trackbars span 0..100 without tick marks.
    EXPECT_EQ(panel->m_sliderScaleZ->maximum(), 100);
    EXPECT_EQ(panel->m_sliderScaleZ->tickPosition(), QSlider::NoTicks);
}

TEST_F(Panel, ExchangeWritesMembersIntoEditsWithSixDigits) {
    panel->m_scaleAttenuation = 2.5f;
    panel->m_translateAttenuation = 1.1f;
    EXPECT_TRUE(panel->UpdateData(false));
    EXPECT_EQ(edit(1003)->text(), "2.5");
    EXPECT_EQ(edit(1014)->text(), "1.1");
    panel->m_translateAttenuation = 1.0f / 3.0f;
    panel->UpdateData(false);
    EXPECT_EQ(edit(1014)->text(), "0.333333");
}

TEST_F(Panel, ExchangeReadsEditsIntoMembers) {
    put_text(1003, "3");
    put_text(1014, " 0.25 ");
    EXPECT_TRUE(panel->UpdateData(true));
    EXPECT_EQ(panel->m_scaleAttenuation, 3.0f);
    EXPECT_EQ(panel->m_translateAttenuation, 0.25f);
}

TEST_F(Panel, TypingANumberTakesEffectAtOnce) {
    type_into(1014, "2");
    EXPECT_EQ(panel->m_translateAttenuation, 2.0f);
    QTest::keyClicks(edit(1014), ".5");
    EXPECT_EQ(panel->m_translateAttenuation, 2.5f);
    type_into(1003, "0.5");
    EXPECT_EQ(panel->m_scaleAttenuation, 0.5f);
}

TEST_F(Panel, TextThatIsNoNumberBringsThePromptAndKeepsTheMember) {
    panel->show();
    QApplication::setActiveWindow(panel.get());
    box_closer closer;
    type_into(1014, "");
    EXPECT_EQ(closer.texts, QStringList{"Entrez un nombre."});
    EXPECT_EQ(panel->m_translateAttenuation, 1.0f);
    EXPECT_EQ(panel->focusWidget(), edit(1014));

    type_into(1003, "abc");
    EXPECT_GE(closer.texts.size(), 2);
    EXPECT_EQ(panel->m_scaleAttenuation, 1.0f);
}

TEST_F(Panel, ExchangeStopsAtTheFirstBadEdit) {
    put_text(1003, "4");
    put_text(1014, "x");
    box_closer closer;
    EXPECT_FALSE(panel->UpdateData(true));
    EXPECT_EQ(closer.texts.size(), 1);
    EXPECT_EQ(panel->m_scaleAttenuation, 4.0f);  // read before the bad edit
    EXPECT_EQ(panel->m_translateAttenuation, 1.0f);

    put_text(1003, "x");
    put_text(1014, "7");
    EXPECT_FALSE(panel->UpdateData(true));
    EXPECT_EQ(panel->m_translateAttenuation, 1.0f);  // never reached
}

TEST_F(Panel, ThePanelsOwnRewritesAreNotTakenForTyping) {
    put_text(1003, "abc");
    put_text(1014, "abc");
    box_closer closer;
    panel->UpdateData(false);
    QApplication::processEvents();
    EXPECT_TRUE(closer.texts.isEmpty());
    EXPECT_EQ(edit(1003)->text(), "1");
    EXPECT_EQ(edit(1014)->text(), "1");
}

TEST_F(Panel, TickLeavesANumberBeingTypedAlone) {
    type_into(1014, "2.");
    panel->OnTimer(1);
    EXPECT_EQ(edit(1014)->text(), "2.");
    QTest::keyClicks(edit(1014), "5");
    EXPECT_EQ(panel->m_translateAttenuation, 2.5f);
}

TEST_F(Panel, TickWithEverythingAtRestGivesTheNeutralView) {
    panel->OnTimer(1);
    const tessel::view_transform& view = shown.view;
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(view.translation[axis], 0.0f);
        EXPECT_EQ(view.rotation[axis], 0.0f);
        EXPECT_EQ(view.scale[axis], 1.0f);
    }
}

struct slider_case {
    int id;
    int position;
    int group;  // 0 translation, 1 rotation, 2 scale
    int axis;
    float expected;
};

TEST_F(Panel, TickTurnsSliderExtremesIntoTheView) {
    const slider_case cases[] = {
        {1008, 0, 0, 0, 50.0f},    {1008, 100, 0, 0, -50.0f}, {1009, 0, 0, 1, 50.0f},
        {1010, 100, 0, 2, -50.0f}, {1011, 50, 1, 0, 180.0f},  {1012, 100, 1, 1, 360.0f},
        {1013, 1, 1, 2, static_cast<float>(3.6)}, {1015, 100, 2, 0, 101.0f},
        {1016, 0, 2, 1, 1.0f},     {1017, 49, 2, 2, 50.0f},
    };
    for (const auto& c : cases) {
        control<CSliderCtrl>(c.id)->SetPos(c.position);
        panel->OnTimer(1);
        const tessel::view_transform& view = shown.view;
        const float* group[] = {view.translation, view.rotation, view.scale};
        EXPECT_EQ(group[c.group][c.axis], c.expected) << c.id << " at " << c.position;
    }
}

TEST_F(Panel, OneUpClickRaisesTheTranslateAttenuationByATenth) {
    panel->m_sliderTransX->SetPos(0);
    panel->m_sliderTransY->SetPos(80);
    panel->m_spinTranslateAtt->StepUp();
    panel->OnTimer(1);
    EXPECT_EQ(panel->m_translateAttenuation, static_cast<float>(1.0 + 0.1));
    EXPECT_EQ(edit(1014)->text(), "1.1");
    EXPECT_EQ(shown.view.translation[0], static_cast<float>(50 * static_cast<double>(1.1f)));
    EXPECT_EQ(shown.view.translation[1], static_cast<float>(-30 * static_cast<double>(1.1f)));
    EXPECT_EQ(panel->m_spinTranslateAtt->GetPos(), 0x1FFFF);  // back at rest

    panel->OnTimer(1);  // no click since: no change
    EXPECT_EQ(edit(1014)->text(), "1.1");
}

TEST_F(Panel, DownClicksLowerByATenthPerTick) {
    panel->m_sliderScaleX->SetPos(9);
    for (int i = 0; i < 3; ++i) panel->m_spinScaleAtt->StepDown();
    panel->OnTimer(1);
    EXPECT_EQ(edit(1003)->text(), "0.9");
    EXPECT_EQ(shown.view.scale[0], static_cast<float>(10 * static_cast<double>(panel->m_scaleAttenuation)));
    panel->m_spinScaleAtt->StepDown();
    panel->OnTimer(1);
    EXPECT_EQ(edit(1003)->text(), "0.8");
}

TEST_F(Panel, TenOrMoreUpClicksInOneTickStillRaiseTheValue) {
    for (int i = 0; i < 10; ++i) panel->m_spinTranslateAtt->StepUp();
    panel->OnTimer(1);
    EXPECT_EQ(edit(1014)->text(), "2");
    for (int i = 0; i < 13; ++i) panel->m_spinScaleAtt->StepUp();
    panel->OnTimer(1);
    EXPECT_EQ(edit(1003)->text(), "2.3");
}

TEST_F(Panel, AboutItemShowsTheAboutBox) {
    QString title;
    QStringList texts;
    bool hasIcon = false;
    modal_handler handler([&](QWidget* modal) {
        title = modal->windowTitle();
        for (const QLabel* label : modal->findChildren<QLabel*>()) {
            if (!label->pixmap().isNull()) hasIcon = true;
            if (!label->text().isEmpty()) texts << label->text();
        }
        auto* ok = modal->findChild<QPushButton*>();
        if (ok != nullptr) {
            texts << ok->text();
            QMetaObject::invokeMethod(ok, "click", Qt::QueuedConnection);
        }
    });
    panel->findChild<QAction*>("16")->trigger();
    EXPECT_EQ(handler.handled(), 1);
    EXPECT_EQ(title, "A propos de tessel");
    EXPECT_TRUE(texts.contains("tessel version 1.0"));
    EXPECT_TRUE(texts.contains("OK"));
    EXPECT_EQ(texts.size(), 3);  // with the credit line
    EXPECT_TRUE(hasIcon);
}

TEST_F(Panel, LoadingAFileFillsBothBarsAndTheScene) {
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("two_colours.wrl")));
    EXPECT_EQ(panel->m_progressRead->GetPos(), 100);
    EXPECT_EQ(panel->m_progressProcess->GetPos(), 100);
    ASSERT_EQ(shown.scene.shape_count, 2);
    EXPECT_EQ(shown.scene.shapes[1].colour[1], 1.0f);
    EXPECT_EQ(panel->StartFolder(), QFileInfo(tessel::testing::test_file("x")).absolutePath());
}

TEST_F(Panel, AFileDroppedOnThePanelIsOpened) {
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("blue_square.wrl")));
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("https://example.invalid/x.wrl")),
                  QUrl::fromLocalFile(tessel::testing::test_file("two_colours.wrl"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    QApplication::processEvents();
    EXPECT_EQ(shown.scene.shape_count, 2);
    EXPECT_EQ(panel->m_progressProcess->GetPos(), 100);

    // Dragged text without a file is refused.
    QMimeData text;
    text.setText(QStringLiteral("just words"));
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(panel.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(Panel, AFileThatCannotBeReadSaysSoAndKeepsTheScene) {
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("blue_square.wrl")));
    const auto generation = shown.scene.generation;
    box_closer closer;
    EXPECT_FALSE(panel->LoadFile(QDir::temp().filePath("no-such-scene.wrl")));
    ASSERT_EQ(closer.texts.size(), 1);
    EXPECT_TRUE(closer.texts.front().contains("no-such-scene.wrl")) << closer.texts.front().toStdString();
    EXPECT_EQ(shown.scene.generation, generation);
    EXPECT_EQ(shown.scene.shape_count, 1);
}

TEST_F(Panel, OpenDialogStartsInTheCurrentFolderAndCancelChangesNothing) {
    panel->LoadFile(tessel::testing::test_file("blue_square.wrl"));
    tessel::testing::clear_settings();
    panel = std::make_unique<CControlPanel>(shown);  // a panel that has opened nothing, in any run
    panel->OnInitDialog();
    const auto generation = shown.scene.generation;
    QString folder;
    QStringList filters;
    modal_handler handler([&](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            folder = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
        }
        QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
    });
    panel->findChild<QAction*>("32771")->trigger();
    EXPECT_EQ(handler.handled(), 1);
    EXPECT_EQ(folder, QDir::currentPath());
    ASSERT_EQ(filters.size(), 2);
    for (const char* pattern : {"*.wrl", "*.x3dv", "*.x3d", "*.x3dz"}) EXPECT_TRUE(filters[0].contains(pattern)) << pattern;
    EXPECT_EQ(shown.scene.generation, generation);
    EXPECT_EQ(panel->m_progressProcess->GetPos(), 0);
}

TEST_F(Panel, FileChosenInTheOpenDialogIsLoaded) {
    const QString path = tessel::testing::test_file("two_colours.wrl");
    modal_handler handler([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    panel->findChild<QAction*>("32771")->trigger();
    EXPECT_EQ(handler.handled(), 1);
    EXPECT_EQ(shown.scene.shape_count, 2);
    EXPECT_EQ(panel->m_progressProcess->GetPos(), 100);
    EXPECT_EQ(panel->StartFolder(), QFileInfo(path).absolutePath());
}

TEST_F(Panel, EnterWithABadEditKeepsThePanelOpen) {
    panel->show();
    put_text(1014, "?");
    box_closer closer;
    panel->accept();
    EXPECT_EQ(closer.texts.size(), 1);
    EXPECT_TRUE(panel->isVisible());
    put_text(1014, "3");
    panel->accept();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->result(), QDialog::Accepted);
    EXPECT_EQ(panel->m_translateAttenuation, 3.0f);
}

QAction* classic_item(const CControlPanel& p) {
    return p.findChild<QAction*>(QString::number(CControlPanel::ID_FILE_CLASSIC));
}
QAction* warnings_item(const CControlPanel& p) {
    return p.findChild<QAction*>(QString::number(CControlPanel::ID_FILE_WARNINGS));
}

// A panel as the next run of the viewer makes it.
std::unique_ptr<CControlPanel> next_run(tessel::gl_content& shown) {
    auto next = std::make_unique<CControlPanel>(shown);
    next->OnInitDialog();
    return next;
}

// The test file holds a named triangle, which both readings draw, and a cube
// primitive and an unknown node, which only the standard reading sees.
TEST_F(Panel, TheClassicItemSwitchesTheReadingReadsTheSceneAgainAndIsRemembered) {
    QAction* item = classic_item(*panel);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), "&Lecture classique");
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(panel->ReadingMode(), tessel::reading_mode::standard);

    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("cube_and_triangle.wrl")));
    EXPECT_EQ(shown.scene.reading, tessel::scene_reading::standard);
    EXPECT_EQ(shown.scene.shape_count, 2);
    auto generation = shown.scene.generation;
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(panel->ReadingMode(), tessel::reading_mode::classic);
    EXPECT_EQ(shown.scene.generation, generation + 1) << "the file is read again";
    EXPECT_EQ(shown.scene.reading, tessel::scene_reading::classic);
    EXPECT_EQ(shown.scene.shape_count, 1);

    // The next run starts in the reading chosen last; with no file on screen
    // a switch reads nothing.
    auto next = next_run(shown);
    EXPECT_TRUE(classic_item(*next)->isChecked());
    EXPECT_EQ(next->ReadingMode(), tessel::reading_mode::classic);
    generation = shown.scene.generation;
    classic_item(*next)->trigger();
    EXPECT_EQ(next->ReadingMode(), tessel::reading_mode::standard);
    EXPECT_EQ(shown.scene.generation, generation);
    EXPECT_FALSE(classic_item(*next_run(shown))->isChecked());

    // The command line's choice holds for its run only.
    next = next_run(shown);
    next->SetReadingForThisRun(tessel::reading_mode::classic);
    EXPECT_TRUE(classic_item(*next)->isChecked());
    ASSERT_TRUE(next->LoadFile(tessel::testing::test_file("cube_and_triangle.wrl")));
    EXPECT_EQ(shown.scene.reading, tessel::scene_reading::classic);
    EXPECT_FALSE(classic_item(*next_run(shown))->isChecked());
}

TEST_F(Panel, WarningsWaitInTheirOwnWindowWithoutHoldingThePanel) {
    QAction* item = warnings_item(*panel);
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isEnabled());
    panel->show();
    box_closer closer;
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("cube_and_triangle.wrl")));
    QApplication::processEvents();
    EXPECT_EQ(closer.handler.handled(), 0) << "no box on a load with warnings";
    EXPECT_TRUE(item->isEnabled());
    EXPECT_EQ(item->text(), "&Avertissements (1)...");

    item->trigger();
    CWarningsWindow* window = panel->WarningsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(window->windowTitle(), "Avertissements (1)");
    EXPECT_TRUE(window->ListText().contains("cube_and_triangle.wrl:32:1: ")) << window->ListText().toStdString();
    EXPECT_TRUE(window->ListText().contains("Frobnicate"));

    // A failed load keeps the scene, and with it its warnings; a clean one
    // clears them, in the open window too.
    EXPECT_FALSE(panel->LoadFile(QDir::temp().filePath("no-such-scene.wrl")));
    EXPECT_EQ(item->text(), "&Avertissements (1)...");
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("blue_square.wrl")));
    EXPECT_FALSE(item->isEnabled());
    EXPECT_EQ(window->windowTitle(), "Avertissements (0)");
    EXPECT_TRUE(window->ListText().isEmpty());

    // Past the reader's first thousand, the window counts what it cannot list.
    const tessel::test::temp_folder folder;
    const std::string many = folder.path() + "/many.wrl";
    {
        std::ofstream out(many);
        out << "#VRML V1.0 ascii\nSeparator {\n";
        for (int i = 0; i < 1005; ++i) out << "Unknown" << i << " { }\n";
        out << "Cube { }\n}\n";
    }
    ASSERT_TRUE(panel->LoadFile(QString::fromStdString(many)));
    EXPECT_EQ(item->text(), "&Avertissements (1005)...");
    EXPECT_EQ(window->windowTitle(), "Avertissements (1005)");
    EXPECT_EQ(window->ListText().count(QLatin1Char('\n')) + 1, 1000);
    EXPECT_TRUE(window->Summary().contains("1000")) << window->Summary().toStdString();
    EXPECT_EQ(closer.texts.size(), 1) << "only the file that could not be read brought a box";
}

}  // namespace

namespace {

// The recent files' items of the "&Fichier" menu, in their order.
QList<QAction*> recent_items(const CControlPanel& panel) {
    QList<QAction*> items;
    QMenu* file = nullptr;
    for (QMenu* menu : panel.findChildren<QMenu*>())
        if (menu->title() == "&Fichier") file = menu;
    if (file == nullptr) return items;
    for (QAction* action : file->actions()) {
        bool numbered = false;
        const int id = action->objectName().toInt(&numbered);
        if (numbered && id >= CControlPanel::ID_FILE_MRU_FILE1 && id < CControlPanel::ID_FILE_MRU_FILE1 + 8)
            items << action;
    }
    return items;
}

QStringList texts_of(const QList<QAction*>& items) {
    QStringList texts;
    for (QAction* item : items) texts << item->text();
    return texts;
}

}  // namespace

TEST_F(Panel, ADragTurnsTheRotationSlidersAndTheViewAtOnce) {
    panel->DragBegin();
    panel->DragTurn(40, 20, 400, 400);  // a tenth and a twentieth of a full turn
    EXPECT_EQ(panel->m_sliderRotY->GetPos(), 10);
    EXPECT_EQ(panel->m_sliderRotX->GetPos(), 5);
    EXPECT_EQ(shown.view.rotation[1], 36.0f);
    EXPECT_EQ(shown.view.rotation[0], 18.0f);
    // Slow motion adds up; past 360 degrees the slider wraps to the start.
    panel->m_sliderRotY->SetPos(98);
    for (int i = 0; i < 6; ++i) panel->DragTurn(2, 0, 400, 400);
    EXPECT_EQ(panel->m_sliderRotY->GetPos(), 1);
    panel->DragTurn(0, -24, 200, 400);
    EXPECT_EQ(panel->m_sliderRotX->GetPos(), 99);
    panel->OnTimer(1);  // the tick reads the same sliders
    EXPECT_EQ(shown.view.rotation[0], static_cast<float>(99 * 3.6));
    EXPECT_EQ(shown.view.rotation[1], static_cast<float>(3.6));
}

TEST_F(Panel, AMoveDragMovesTheTranslationSlidersUpToTheirEnds) {
    panel->DragBegin();
    panel->DragMove(10, -5, 400, 400);  // 20 units right and 10 up
    EXPECT_EQ(panel->m_sliderTransX->GetPos(), 30);
    EXPECT_EQ(panel->m_sliderTransY->GetPos(), 40);
    EXPECT_EQ(panel->m_sliderTransZ->GetPos(), 50);
    EXPECT_EQ(shown.view.translation[0], 20.0f);
    EXPECT_EQ(shown.view.translation[1], 10.0f);
    panel->DragMove(-1000, 1000, 400, 400);
    EXPECT_EQ(panel->m_sliderTransX->GetPos(), 100);
    EXPECT_EQ(panel->m_sliderTransY->GetPos(), 100);
    // Nothing to move by: a zero attenuation, a window without a size.
    panel->m_translateAttenuation = 0.0f;
    panel->DragMove(50, 50, 400, 400);
    panel->m_translateAttenuation = 1.0f;
    panel->DragMove(50, 50, 0, 0);
    EXPECT_EQ(panel->m_sliderTransX->GetPos(), 100);
}

TEST_F(Panel, TheWheelZoomsThroughTheScaleAttenuationField) {
    panel->ZoomBy(1);
    EXPECT_EQ(panel->m_scaleAttenuation, static_cast<float>(1.1));
    EXPECT_EQ(edit(1003)->text(), "1.1");
    EXPECT_EQ(shown.view.scale[2], static_cast<float>(1.1));
    panel->ZoomBy(-1);
    EXPECT_EQ(edit(1003)->text(), "1");
    // A value typed afterwards is where the next notch starts.
    type_into(1003, "4");
    panel->ZoomBy(-1);
    EXPECT_EQ(edit(1003)->text(), "3.64");
}

TEST_F(Panel, HomeAndFitPutEveryValueBackAtRest) {
    for (const char* action : {"32773", "32774"}) {
        for (CSliderCtrl* slider : {panel->m_sliderTransX, panel->m_sliderRotZ, panel->m_sliderScaleY})
            slider->SetPos(77);
        panel->m_spinScaleAtt->StepUp();  // a click the tick has not counted yet
        panel->OnTimer(1);
        panel->m_spinTranslateAtt->StepUp();
        type_into(1003, "3");
        panel->findChild<QAction*>(action)->trigger();
        EXPECT_EQ(edit(1003)->text(), "1") << action;
        EXPECT_EQ(edit(1014)->text(), "1") << action;
        panel->OnTimer(1);
        EXPECT_EQ(edit(1014)->text(), "1") << action;
        const tessel::view_transform rest{};
        EXPECT_EQ(0, std::memcmp(&shown.view, &rest, sizeof rest)) << action;
    }
}

// Home goes back to the file's camera, Cadrer frames the whole scene, and
// the headlight item switches the light from the eye.
TEST_F(Panel, HomeUsesTheCameraFitFramesAndTheHeadlightSwitches) {
    panel->findChild<QAction*>("32774")->trigger();
    EXPECT_FALSE(shown.settings.use_camera);
    panel->findChild<QAction*>("32773")->trigger();
    EXPECT_TRUE(shown.settings.use_camera);
    QAction* headlight = panel->findChild<QAction*>("32775");
    ASSERT_NE(headlight, nullptr);
    EXPECT_EQ(headlight->text(), QString::fromUtf8("Lumi\u00e8re frontale"));
    EXPECT_TRUE(headlight->isChecked());
    headlight->trigger();
    EXPECT_FALSE(shown.settings.headlight);
    headlight->trigger();
    EXPECT_TRUE(shown.settings.headlight);
}

TEST_F(Panel, SteeringWaitsWhileAnotherWindowIsModalOrANumberIsPrompted) {
    auto try_everything = [this] {
        panel->TurnBy(3, 3);
        panel->ZoomBy(2);
        panel->DragBegin();
        panel->DragMove(40, 40, 400, 400);
        panel->DragTurn(40, 40, 400, 400);
    };
    bool changed = true;
    modal_handler handler([&](QWidget* modal) {
        try_everything();
        panel->OnViewHome();
        changed = panel->m_sliderRotX->GetPos() != 0 || panel->m_sliderTransX->GetPos() != 50 ||
                  panel->m_scaleAttenuation != 4.0f;
        QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
    });
    panel->m_scaleAttenuation = 4.0f;
    QMessageBox box(QMessageBox::Information, "tessel", "busy", QMessageBox::Ok, panel.get());
    box.exec();
    EXPECT_EQ(handler.handled(), 1);
    EXPECT_FALSE(changed);

    // The number prompt of an edit that holds no number.
    changed = true;
    type_into(1003, "");
    EXPECT_EQ(handler.handled(), 2);
    EXPECT_FALSE(changed);
    EXPECT_TRUE(panel->CanSteer());
}

TEST_F(Panel, OpenedFilesAreListedNewestFirstAndSurviveThePanel) {
    const QString red = tessel::testing::test_file("two_colours.wrl");
    const QString blue = tessel::testing::test_file("blue_square.wrl");
    EXPECT_TRUE(recent_items(*panel).isEmpty());
    ASSERT_TRUE(panel->LoadFile(red));
    ASSERT_TRUE(panel->LoadFile(blue));
    ASSERT_TRUE(panel->LoadFile(red));
    const QString folder = QFileInfo(red).absolutePath();
    const QStringList expected = {"&1 two_colours.wrl (" + folder + ")", "&2 blue_square.wrl (" + folder + ")"};
    EXPECT_EQ(texts_of(recent_items(*panel)), expected);

    // The next run shows the same list, opens from it and starts the Open
    // dialog where the last file came from.
    panel = std::make_unique<CControlPanel>(shown);
    panel->OnInitDialog();
    EXPECT_EQ(texts_of(recent_items(*panel)), expected);
    EXPECT_EQ(panel->StartFolder(), folder);
    recent_items(*panel)[1]->trigger();
    EXPECT_EQ(shown.scene.shape_count, 1);
    QApplication::processEvents();  // the replaced items go
    EXPECT_EQ(texts_of(recent_items(*panel)),
              (QStringList{"&1 blue_square.wrl (" + folder + ")", "&2 two_colours.wrl (" + folder + ")"}));
}

TEST_F(Panel, ARecentFileThatIsGoneIsReportedAndLeavesTheList) {
    const QString folder = QDir::temp().filePath("tessel-recent-test");
    QDir().mkpath(folder);
    const QString gone = folder + "/gone.wrl";
    QFile::remove(gone);
    ASSERT_TRUE(QFile::copy(tessel::testing::test_file("blue_square.wrl"), gone));
    ASSERT_TRUE(panel->LoadFile(gone));
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("two_colours.wrl")));
    QFile::remove(gone);
    QDir().rmdir(folder);
    const auto generation = shown.scene.generation;
    box_closer closer;
    recent_items(*panel)[1]->trigger();
    ASSERT_EQ(closer.texts.size(), 1);
    EXPECT_TRUE(closer.texts.front().contains("gone.wrl"));
    EXPECT_EQ(shown.scene.generation, generation);
    QApplication::processEvents();
    ASSERT_EQ(recent_items(*panel).size(), 1);
    EXPECT_TRUE(recent_items(*panel)[0]->text().startsWith("&1 two_colours.wrl"));
    // A folder that has gone is not where the next run's Open dialog starts.
    panel = std::make_unique<CControlPanel>(shown);
    panel->OnInitDialog();
    EXPECT_EQ(panel->StartFolder(), QFileInfo(tessel::testing::test_file("x")).absolutePath());
}

namespace {

// A box turned by a TimeSensor with the given fields through the given
// orientations (at keys 0 and 1), written into folder.
QString write_world(const tessel::test::temp_folder& folder, const char* name, const char* sensor,
                    const char* turns = "0 1 0 0, 0 1 0 3") {
    const std::string path = folder.path() + "/" + name;
    std::ofstream(path) << "#VRML V2.0 utf8\n"
                           "DEF T Transform { children Shape { geometry Box { } } }\n"
                           "DEF C TimeSensor { "
                        << sensor
                        << " }\n"
                           "DEF R OrientationInterpolator { key [0 1] keyValue ["
                        << turns
                        << "] }\n"
                           "ROUTE C.fraction_changed TO R.set_fraction\n"
                           "ROUTE R.value_changed TO T.set_rotation\n";
    return QString::fromStdString(path);
}

// The "&Animation" items and the timer that plays the world.
struct animation_controls {
    QAction* play;
    QAction* restart;
    const QTimer* timer;

    explicit animation_controls(const CControlPanel& panel)
        : play(panel.findChild<QAction*>("32776")),
          restart(panel.findChild<QAction*>("32777")),
          timer(panel.findChild<QTimer*>("animationTimer")) {}
    bool found() const { return play && restart && timer; }
    bool playing() const { return play->isEnabled() && restart->isEnabled() && play->isChecked() && timer->isActive(); }
    bool idle() const { return !play->isEnabled() && !restart->isEnabled() && !timer->isActive(); }
};

}  // namespace

TEST_F(Panel, AWorldThatMovesPlaysAtOncePausesRestartsAndOutlivesAFailedLoad) {
    const tessel::test::temp_folder folder("tessel-panel-world");
    const QString looping = write_world(folder, "looping.wrl", "cycleInterval 2 loop TRUE");
    const animation_controls controls(*panel);
    ASSERT_TRUE(controls.found());
    EXPECT_EQ(controls.play->text(), "&Lecture/Pause");
    EXPECT_EQ(controls.play->shortcut(), QKeySequence(Qt::Key_Space));
    EXPECT_EQ(controls.restart->text(), "&Recommencer");
    EXPECT_TRUE(controls.idle()) << "nothing to play yet";

    ASSERT_TRUE(panel->LoadFile(looping));
    ASSERT_NE(panel->World(), nullptr);
    EXPECT_TRUE(controls.playing());
    // A turning Transform moves its part in place: the store's `moved` rises.
    const auto moved = shown.scene.moved;
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.scene.moved > moved + 2; }, 20000)) << "the scene moves by itself";

    // Paused, nothing runs; Space in the GL window plays on from there.
    controls.play->trigger();
    EXPECT_FALSE(controls.play->isChecked());
    EXPECT_FALSE(controls.timer->isActive());
    const double paused_at = panel->World()->now();
    EXPECT_GT(paused_at, 0.0);
    panel->PlayOrPause();
    EXPECT_TRUE(controls.playing());
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel->World()->now() > paused_at; }, 20000));
    // Recommencer, paused or not, plays from 0.
    controls.play->trigger();
    controls.restart->trigger();
    EXPECT_TRUE(controls.playing());
    EXPECT_EQ(panel->World()->now(), 0.0);

    // A load that fails leaves the world playing with its scene.
    const tessel::scene_world* world = panel->World();
    {
        box_closer closer;
        EXPECT_FALSE(panel->LoadFile(QDir::temp().filePath("no-such-scene.wrl")));
    }
    EXPECT_EQ(panel->World(), world);
    EXPECT_TRUE(controls.playing());

    // A still scene has no world, and the classic reading never has one.
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("vrml2_box_on_blue.wrl")));
    EXPECT_EQ(panel->World(), nullptr);
    EXPECT_TRUE(controls.idle());
    ASSERT_TRUE(panel->LoadFile(looping));
    panel->SetReadingForThisRun(tessel::reading_mode::classic);
    ASSERT_TRUE(panel->LoadFile(looping));
    EXPECT_EQ(panel->World(), nullptr);
    EXPECT_TRUE(controls.idle());
}

TEST_F(Panel, AWorldThatComesToRestStopsItsTimerUntilItRestarts) {
    const tessel::test::temp_folder folder("tessel-panel-world");
    // Runs once, from 0.05 s to 0.15 s on the world's clock.
    const QString once = write_world(folder, "once.wrl", "startTime 0.05 cycleInterval 0.1");
    const animation_controls controls(*panel);
    ASSERT_TRUE(controls.found());
    ASSERT_TRUE(panel->LoadFile(once));
    ASSERT_NE(panel->World(), nullptr);
    EXPECT_TRUE(controls.playing());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !controls.timer->isActive(); }, 20000)) << "the world came to rest";
    EXPECT_FALSE(panel->World()->waiting());
    EXPECT_TRUE(controls.play->isEnabled() && controls.play->isChecked());
    controls.restart->trigger();
    EXPECT_TRUE(controls.playing());
}

TEST_F(Panel, WhatAWorldSaysAsItPlaysJoinsTheScenesWarnings) {
    const tessel::test::temp_folder folder("tessel-panel-world");
    // Three orientations for two keys: said once, when the sensor first
    // drives the interpolator.
    const QString odd =
        write_world(folder, "odd.wrl", "cycleInterval 2 loop TRUE", "0 1 0 0, 0 1 0 3, 0 1 0 6");
    ASSERT_TRUE(panel->LoadFile(odd));
    ASSERT_NE(panel->World(), nullptr);
    QAction* item = warnings_item(*panel);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());
    EXPECT_EQ(item->text(), "&Avertissements (1)...");
    const auto moved = shown.scene.moved;
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.scene.moved > moved + 2; }, 20000));
    EXPECT_EQ(item->text(), "&Avertissements (1)...") << "said once";
}

// A long load runs beside the panel: its loop keeps turning (a timer fires,
// a second load asked for meanwhile is refused), the bars follow, and the
// scene shown changes only once the load is done.
TEST_F(Panel, ALongLoadKeepsThePanelAnswering) {
    const tessel::test::temp_folder folder("tessel-panel-long");
    const std::string path = folder.path() + "/long.wrl";
    {
        std::ofstream out(path);
        out << "#VRML V2.0 utf8\n";
        for (int part = 0; part < 400; ++part) {
            out << "Shape { geometry IndexedFaceSet { coord Coordinate { point [";
            for (int i = 0; i < 6000; ++i) out << i % 97 << ".25 " << i % 89 << ".5 " << part << ".75,\n";
            out << "] } coordIndex [";
            for (int i = 0; i + 2 < 6000; ++i) out << i << ' ' << i + 1 << ' ' << i + 2 << " -1\n";
            out << "] } }\n";
        }
    }
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("two_colours.wrl")));
    const std::uint64_t generation = shown.scene.generation;
    int ticks = 0;
    bool scene_kept = true, second_refused = false;
    QTimer beside;
    QObject::connect(&beside, &QTimer::timeout, [&] {
        if (ticks++ == 0) second_refused = !panel->LoadFile(tessel::testing::test_file("blue_square.wrl"));
        scene_kept = scene_kept && shown.scene.generation == generation && shown.scene.shape_count == 2;
    });
    beside.start(0);
    ASSERT_TRUE(panel->LoadFile(QString::fromStdString(path)));
    beside.stop();
    EXPECT_GT(ticks, 0);
    EXPECT_TRUE(second_refused);
    EXPECT_TRUE(scene_kept);
    EXPECT_EQ(shown.scene.shape_count, 400);
    EXPECT_EQ(shown.scene.generation, generation + 1);
    EXPECT_EQ(panel->m_progressRead->GetPos(), 100);
    EXPECT_EQ(panel->m_progressProcess->GetPos(), 100);
}

// "Points de vue" lists the file's viewpoints by description, DEF name or
// number, the one shown checked; choosing one shows it.
// "Navigation" follows the file; walking, the GL window's keys move the
// viewer through the world and its walls stop it, while the sliders stay
// where they are; examining, the same key turns the sliders; with none,
// it does nothing. The world rebuilding itself as it plays keeps the viewer
// where it walked.
TEST_F(Panel, NavigationFollowsTheFileAndWalksTheViewer) {
    const tessel::test::temp_folder folder("tessel-panel-walk");
    const std::string path = folder.path() + "/walk.wrl";
    std::ofstream(path) << "#VRML V2.0 utf8\nNavigationInfo { type [\"WALK\" \"ANY\"] speed 2 }\n"
                           "Viewpoint { position 0 1.6 0 }\n"
                           "Transform { translation 0 -0.05 0 children Shape { geometry Box { size 40 0.1 40 } } }\n"
                           "Transform { translation 0 2 -5.1 children Shape { geometry Box { size 40 4 0.2 } } }\n"
                           "DEF L DirectionalLight {}\nDEF C TimeSensor { loop TRUE }\n"
                           "DEF I ScalarInterpolator { key [0 1] keyValue [0 1] }\n"
                           "ROUTE C.fraction_changed TO I.set_fraction\nROUTE I.value_changed TO L.set_intensity\n";
    ASSERT_TRUE(panel->LoadFile(QString::fromStdString(path)));
    const auto* menu = panel->findChild<QMenu*>(QString::number(CControlPanel::ID_VIEW_NAVIGATION));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_TRUE(menu->actions()[1]->isChecked()) << "Marcher";
    const auto z = [&] { return shown.scene.camera ? shown.scene.camera->position[2] : 99.0f; };

    panel->TurnBy(-1, 0);  // Up: half a second at 2 units a second
    EXPECT_NEAR(z(), -1, 1e-4);
    EXPECT_EQ(shown.view.rotation[0], 0);
    const std::uint64_t generation = shown.scene.generation;
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.scene.generation > generation + 2; }, 20000)) << "the world rebuilds";
    EXPECT_NEAR(z(), -1, 1e-4) << "the viewer stays where it walked";
    panel->ZoomBy(10);  // far into the wall: stopped a radius before it
    EXPECT_NEAR(z(), -4.75, 1e-3);

    menu->actions()[3]->trigger();  // Aucune
    panel->TurnBy(-1, 0);
    EXPECT_NEAR(z(), -4.75, 1e-3);
    EXPECT_EQ(shown.view.rotation[0], 0);
    menu->actions()[0]->trigger();  // Examiner
    panel->TurnBy(-1, 0);
    EXPECT_NEAR(z(), -4.75, 1e-3);
    EXPECT_NE(shown.view.rotation[0], 0);

    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("two_colours.wrl")));
    EXPECT_TRUE(menu->actions()[0]->isChecked()) << "a file without a NavigationInfo is examined";
}

TEST_F(Panel, ViewpointsAreListedAndChosenFromTheViewMenu) {
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("viewpoints.wrl")));
    const auto* menu = panel->findChild<QMenu*>(QString::number(CControlPanel::ID_VIEW_VIEWPOINTS));
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (const QAction* item : menu->actions()) names << item->text() + (item->isChecked() ? "*" : "");
    EXPECT_EQ(names, QStringList({"Devant*", "Side", "Point de vue 3"}));
    menu->actions()[2]->trigger();
    EXPECT_EQ(shown.scene.viewpoint, 2);
    ASSERT_TRUE(shown.scene.camera.has_value());
    EXPECT_NEAR(shown.scene.camera->position[1], 10, 1e-5);
    panel->NextViewpoint(1);  // round the end
    EXPECT_EQ(shown.scene.viewpoint, 0);

    // A world whose events bind another viewpoint: the list follows it.
    const tessel::test::temp_folder folder("tessel-panel-views");
    const std::string path = folder.path() + "/bind.wrl";
    std::ofstream(path) << "#VRML V2.0 utf8\nViewpoint { description \"A\" }\n"
                           "DEF B Viewpoint { description \"B\" position 0 0 20 }\n"
                           "DEF C TimeSensor { loop TRUE }\nROUTE C.isActive TO B.set_bind\nShape { geometry Box {} }\n";
    ASSERT_TRUE(panel->LoadFile(QString::fromStdString(path)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return menu->actions().size() == 2 && menu->actions()[1]->isChecked(); }, 20000))
        << "the bound viewpoint is checked";
    ASSERT_TRUE(panel->LoadFile(tessel::testing::test_file("two_colours.wrl")));
    EXPECT_TRUE(menu->actions().isEmpty());
    EXPECT_FALSE(menu->isEnabled());
}
