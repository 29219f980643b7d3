// The message dialog: its three label lines byte for byte, buttons and picture per type, results,
// dimming, the termination rule, and reports from other threads.
#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <string>
#include <vector>

#include "DlgMessage.h"
#include "FrameworkTestSupport.h"
#include "FxDimmer.h"
#include "HtmlLabel.h"
#include "ReflectionImage.h"
#include "Thread.h"

namespace {

using tv::test::AppTest;
using tv::test::ModalWatcher;
using tv::test::ProcessUntil;
using tv::test::RunOnWorker;

class DlgTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    app_->CreateForm(Form_DlgMessage);
    app_->SetMainForm(nullptr);  // as in the program, where the installer window came first
  }
  void TearDown() override {
    FreeDimmer();
    EXPECT_TRUE(ProcessUntil([] { return TFadeThread::Running() == 0; }));
    AppTest::TearDown();
  }
  TForm_DlgMessage& Dlg() { return *Form_DlgMessage; }
};

TEST(DlgMessageLines, AreTheThreeLinesByteForByte) {
  struct Case {
    std::string headline, detail;
    std::array<std::string, 3> expected;
  };
  const std::vector<Case> cases = {
      {"Tolvara Updater servis nije dostupan.",
       "Proverite da li je servis startovan.",
       {R"(<p align="left"><FONT color="#000000"  size="12" face="Tahoma"><SHAD>Tolvara Updater servis nije dostupan.</SHAD></FONT></p>)",
        "<p></p>",
        R"(<p align="left"><FONT color="#000000"  size="10" face="Tahoma">Proverite da li je servis startovan.</FONT></p>)"}},
      // An empty detail still gives the third line, with nothing between its tags.
      {"Aplikacije su uspešno instalirane.",
       "",
       {R"(<p align="left"><FONT color="#000000"  size="12" face="Tahoma"><SHAD>Aplikacije su uspešno instalirane.</SHAD></FONT></p>)",
        "<p></p>",
        R"(<p align="left"><FONT color="#000000"  size="10" face="Tahoma"></FONT></p>)"}},
      // Inserted as they are, without escaping.
      {"a < b & <B>c</B>",
       "\"x\"",
       {R"(<p align="left"><FONT color="#000000"  size="12" face="Tahoma"><SHAD>a < b & <B>c</B></SHAD></FONT></p>)",
        "<p></p>",
        R"(<p align="left"><FONT color="#000000"  size="10" face="Tahoma">"x"</FONT></p>)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.headline);
    EXPECT_EQ(DlgMessageLines(c.headline, c.detail), c.expected);
  }
}

TEST_F(DlgTest, TheWindowAndItsControlsAreLaidOutAsDesigned) {
  EXPECT_EQ(Dlg().windowTitle(), QString("Tolvara Updater Administrator"));
  EXPECT_EQ(Dlg().size(), QSize(494, 174));
  EXPECT_EQ(Dlg().minimumSize(), Dlg().maximumSize());
  const Qt::WindowFlags flags = Dlg().windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_EQ(Dlg().AdvPanel1->geometry(), QRect(0, 0, 494, 174));
  EXPECT_EQ(Dlg().RI_Ikona->geometry(), QRect(16, 16, 64, 90));
  EXPECT_EQ(Dlg().RI_Ikona->ReflectionHeight(), 25);
  EXPECT_EQ(Dlg().HL_Poruka->pos(), QPoint(96, 24));
  EXPECT_EQ(Dlg().HL_Poruka->width(), 377);
  EXPECT_EQ(Dlg().HL_Poruka->ShadowColor(), QColor(209, 209, 209));
  EXPECT_EQ(Dlg().HL_Poruka->ShadowOffset(), 1);
  EXPECT_EQ(Dlg().AdvPanel2->geometry(), QRect(10, 130, 474, 34));
  EXPECT_EQ(Dlg().B_OK->geometry().topLeft().x(), 364);
  EXPECT_EQ(Dlg().B_OK->size(), QSize(110, 32));
  EXPECT_EQ(Dlg().B_CANCEL->geometry().topLeft().x(), 245);
  EXPECT_EQ(Dlg().B_CANCEL->size(), QSize(110, 32));
  EXPECT_EQ(Dlg().B_OK->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(Dlg().B_OK->iconSize(), QSize(24, 24));
  for (const QPixmap& image : Dlg().IL_DlgType) EXPECT_EQ(image.size(), QSize(64, 64));
}

struct SeenDialog {
  QString headline;
  QString okText;
  bool cancelShown = false;
  QString cancelText;
  QImage picture;
  bool dimmed = false;
  bool okFocused = false;
  bool onUiThread = false;
};

SeenDialog Observe(TForm_DlgMessage& dlg) {
  SeenDialog seen;
  const auto& paragraphs = dlg.HL_Poruka->Paragraphs();
  if (!paragraphs.empty() && !paragraphs[0].runs.empty())
    seen.headline = paragraphs[0].runs[0].text;
  seen.okText = dlg.B_OK->text();
  seen.cancelShown = dlg.B_CANCEL->isVisible();
  seen.cancelText = dlg.B_CANCEL->text();
  seen.picture = dlg.RI_Ikona->Picture().toImage();
  seen.dimmed = FxDimmerForm != nullptr && FxDimmerForm->isVisible();
  seen.okFocused = dlg.B_OK->hasFocus();
  seen.onUiThread = IsUiThread();
  return seen;
}

TEST_F(DlgTest, ButtonsAndPictureFollowTheTypeAndAreSetAgainForEveryReport) {
  struct Case {
    int type;
    const char* ok;
    bool cancelShown;
    int image;
  };
  // Type 0 right after type 2 shows only "&OK"; types outside 0..3 are shown as type 1.
  const std::vector<Case> cases = {
      {2, "&Da", true, 2},  {0, "&OK", false, 0},  {3, "&Da", true, 3},    {1, "&OK", false, 1},
      {4, "&OK", false, 1}, {-1, "&OK", false, 1}, {255, "&OK", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SeenDialog seen;
    ModalWatcher watcher([&](QWidget*) {
      seen = Observe(Dlg());
      Dlg().B_OK->click();
    });
    Dlg().ShowDlgMessage("Naslov", "Detalj", c.type, false);
    EXPECT_EQ(Dlg().ModalResult(), mrOk);
    EXPECT_EQ(seen.okText, QString(c.ok));
    EXPECT_EQ(seen.cancelShown, c.cancelShown);
    if (c.cancelShown) {
      EXPECT_EQ(seen.cancelText, QString("&Ne"));
    }
    EXPECT_EQ(seen.picture, Dlg().IL_DlgType[c.image].toImage());
  }
}

TEST_F(DlgTest, TheResultSaysWhatClosedTheDialog) {
  struct Case {
    const char* what;
    int type;
    std::function<void(TForm_DlgMessage&)> close;
    int expected;
  };
  const auto key = [](Qt::Key k) {
    return [k](TForm_DlgMessage& d) {
      QWidget* target = d.focusWidget() ? d.focusWidget() : &d;
      QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
      QApplication::sendEvent(target, &press);
    };
  };
  const std::vector<Case> cases = {
      {"B_OK", 1, [](TForm_DlgMessage& d) { d.B_OK->click(); }, mrOk},
      {"B_CANCEL", 2, [](TForm_DlgMessage& d) { d.B_CANCEL->click(); }, mrCancel},
      {"close box", 0, [](TForm_DlgMessage& d) { d.close(); }, mrCancel},
      {"Enter on the focused B_OK", 1, key(Qt::Key_Return), mrOk},
      {"Escape with a cancel button", 3, key(Qt::Key_Escape), mrCancel},
      {"Escape without one", 1, key(Qt::Key_Escape), mrCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool okFocused = false;
    // Leave the focus elsewhere, so the dialog must put it back on B_OK itself.
    Dlg().B_CANCEL->show();
    Dlg().B_CANCEL->setFocus();
    ModalWatcher watcher([&](QWidget*) {
      // The window's focus widget is the one that has the focus whenever the window is active
      // (the offscreen platform does not report a second activation of the same window).
      okFocused = Dlg().focusWidget() == Dlg().B_OK;
      c.close(Dlg());
      if (Dlg().ModalResult() == mrNone) {
        ADD_FAILURE() << "the dialog stayed open";
        Dlg().SetModalResult(-1);
      }
    });
    Dlg().ShowDlgMessage("Pitanje?", "", c.type, false);
    EXPECT_EQ(Dlg().ModalResult(), c.expected);
    EXPECT_FALSE(Dlg().isVisible());
    EXPECT_TRUE(okFocused) << "FormActivate gives B_OK the focus";
  }
}

TEST_F(DlgTest, TheLabelShowsAShadowedHeadlineAnEmptyParagraphAndTheDetail) {
  ModalWatcher watcher([&](QWidget*) { Dlg().B_OK->click(); });
  Dlg().ShowDlgMessage("Greška prilikom učitavanja aplikacije.", "Program će biti prekinut.", 1,
                       false);
  const auto lines =
      DlgMessageLines("Greška prilikom učitavanja aplikacije.", "Program će biti prekinut.");
  ASSERT_EQ(Dlg().HL_Poruka->Lines().size(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Dlg().HL_Poruka->Lines()[i], QString::fromStdString(lines[i]));
  const auto& p = Dlg().HL_Poruka->Paragraphs();
  ASSERT_EQ(p.size(), 3u);
  ASSERT_EQ(p[0].runs.size(), 1u);
  EXPECT_EQ(p[0].runs[0].text, QString::fromUtf8("Greška prilikom učitavanja aplikacije."));
  EXPECT_TRUE(p[0].runs[0].shadow);
  EXPECT_EQ(p[0].runs[0].font.pointSize(), 12);
  EXPECT_EQ(p[0].runs[0].font.families().value(0), QString("Tahoma"));
  EXPECT_EQ(p[0].runs[0].color, QColor(Qt::black));
  EXPECT_TRUE(p[1].runs.empty());
  ASSERT_EQ(p[2].runs.size(), 1u);
  EXPECT_EQ(p[2].runs[0].text, QString::fromUtf8("Program će biti prekinut."));
  EXPECT_FALSE(p[2].runs[0].shadow);
  EXPECT_EQ(p[2].runs[0].font.pointSize(), 10);
}

TEST_F(DlgTest, ALessThanSignInTheHeadlineIsReadAsMarkup) {
  ModalWatcher watcher([&](QWidget*) { Dlg().B_OK->click(); });
  Dlg().ShowDlgMessage("Vrednost <B>nije</B> ispravna", "", 1, false);
  const auto& runs = Dlg().HL_Poruka->Paragraphs().at(0).runs;
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].text, QString("nije"));
  EXPECT_TRUE(runs[1].font.bold());
  EXPECT_FALSE(runs[0].font.bold());
  EXPECT_EQ(Dlg().HL_Poruka->PlainText().section('\n', 0, 0), QString("Vrednost nije ispravna"));
}

TEST_F(DlgTest, DimmingLivesExactlyAsLongAsTheDialog) {
  struct Case {
    const char* what;
    bool layerBefore;
    bool dim;
    bool closeBox;
  };
  const std::vector<Case> cases = {
      {"dim on", false, true, false},
      {"dim on with a layer already there", true, true, false},
      {"dim off", false, false, false},
      {"closed with the close box", false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.layerBefore) ShowDimmer(nullptr);
    TFxDimmerForm* before = FxDimmerForm;
    TFxDimmerForm* during = nullptr;
    bool duringVisible = false;
    ModalWatcher watcher([&](QWidget*) {
      during = FxDimmerForm;
      duringVisible = during && during->isVisible();
      c.closeBox ? (void)Dlg().close() : Dlg().B_OK->click();
    });
    Dlg().ShowDlgMessage("Naslov", "Detalj", 1, c.dim);
    if (c.dim) {
      EXPECT_TRUE(duringVisible);
      if (c.layerBefore) {
        EXPECT_EQ(during, before) << "no second layer";
      }
    } else {
      EXPECT_EQ(during, nullptr);
    }
    EXPECT_EQ(FxDimmerForm, nullptr) << "closing the dialog removes the layer";
    EXPECT_EQ(Dlg().ModalResult(), c.closeBox ? mrCancel : mrOk);
  }
}

TEST_F(DlgTest, AfterTheTerminationRequestAReportClosesAtOnceWithCancel) {
  int shown = 0;
  ModalWatcher watcher([&](QWidget*) {
    ++shown;
    Dlg().B_OK->click();
  });
  app_->Terminate();
  Dlg().ShowDlgMessage("Tolvara Updater servis nije dostupan.",
                       "Proverite da li je servis startovan.", 1, true);
  EXPECT_EQ(Dlg().ModalResult(), mrCancel);
  Dlg().ShowDlgMessage("Ažuriranje sistema u toku!!!", "Pokušajte kasnije.", 1, true);
  EXPECT_EQ(Dlg().ModalResult(), mrCancel);
  tv::test::ProcessFor(20);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(FxDimmerForm, nullptr);
}

TEST_F(DlgTest, AnOpenReportEndsWithCancelWhenTerminationIsRequested) {
  ModalWatcher watcher([&](QWidget*) { app_->Terminate(); });
  Dlg().ShowDlgMessage("Naslov", "", 1, true);
  EXPECT_EQ(Dlg().ModalResult(), mrCancel);
  EXPECT_FALSE(Dlg().isVisible());
  EXPECT_EQ(FxDimmerForm, nullptr);
}

TEST_F(DlgTest, AReportFromAnotherThreadIsShownByTheUserInterfaceThread) {
  SeenDialog seen;
  ModalWatcher watcher([&](QWidget*) {
    seen = Observe(Dlg());
    Dlg().B_OK->click();
  });
  ASSERT_TRUE(RunOnWorker(
      [] { Form_DlgMessage->ShowDlgMessage("Greška!!! Program će biti prekinut", "", 1, false); },
      /*pump=*/true));
  EXPECT_TRUE(seen.onUiThread);
  EXPECT_EQ(seen.headline, QString::fromUtf8("Greška!!! Program će biti prekinut"));
  EXPECT_EQ(watcher.Seen(), 1);
}

TEST_F(DlgTest, AReportArrivingWhileAnotherIsOpenFollowsIt) {
  std::vector<QString> headlines;
  bool secondReturnedAtOnce = false;
  ModalWatcher watcher([&](QWidget*) {
    headlines.push_back(Observe(Dlg()).headline);
    if (headlines.size() == 1) {
      Dlg().ShowDlgMessage("druga", "", 1, false);
      secondReturnedAtOnce = Dlg().isVisible();
    }
    Dlg().B_OK->click();
  });
  Dlg().ShowDlgMessage("prva", "", 1, false);
  EXPECT_TRUE(secondReturnedAtOnce);
  EXPECT_EQ(headlines, (std::vector<QString>{"prva", "druga"}));
}

TEST_F(DlgTest, TheDialogIsCentredOverTheVisibleMainWindowElseOverTheWorkArea) {
  QPoint centreWithoutMain;
  QPoint centreWithMain;
  {
    ModalWatcher watcher([&](QWidget*) {
      centreWithoutMain = Dlg().frameGeometry().center();
      Dlg().B_OK->click();
    });
    Dlg().ShowDlgMessage("x", "", 0, false);
  }
  auto main = MakeForm<TForm>();
  main->setGeometry(40, 60, 700, 500);
  app_->SetMainForm(main.get());
  main->Show();
  {
    ModalWatcher watcher([&](QWidget*) {
      centreWithMain = Dlg().frameGeometry().center();
      Dlg().B_OK->click();
    });
    Dlg().ShowDlgMessage("x", "", 0, false);
  }
  const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  // Within the window frame's width: the frame is not known before the first showing.
  EXPECT_LE((centreWithoutMain - screenCentre).manhattanLength(), 6);
  EXPECT_LE((centreWithMain - main->frameGeometry().center()).manhattanLength(), 6);
  app_->SetMainForm(nullptr);
}

}  // namespace
