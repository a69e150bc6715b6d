// The Qt side of the platform layer: bound text boxes and labels, the button and panel
// components, message boxes, the printer and the end of the program.
#include "platform/BoundWidgets.h"
#include "platform/Candy.h"
#include "platform/MessageBox.h"
#include "platform/Printer.h"
#include "platform/ProgramEnd.h"
#include "platform/Progress.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/Files.h"
#include "tests/support/Text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using namespace qv;
using qv::test::str;

namespace {

bool hasPixel(const QImage& image, const QColor& color) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).rgb() == color.rgb())
                return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------- bound text boxes and labels

class BoundLineEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setLayout(new QVBoxLayout);
        box = new QLineEdit(&window);
        other = new QLineEdit(&window);
        window.layout()->addWidget(box);
        window.layout()->addWidget(other);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        bound = std::make_unique<BoundLineEdit>(box, QStringLiteral("Cognome"));
    }

    QWidget window;
    QLineEdit* box = nullptr;
    QLineEdit* other = nullptr;
    std::unique_ptr<BoundLineEdit> bound;
};

TEST_F(BoundLineEditTest, FillShowsTheFieldWithoutRaisingTheFlag) {
    EXPECT_EQ("Cognome", str(bound->DataField()));
    bound->fill(QStringLiteral("Rossi"));
    EXPECT_EQ("Rossi", str(box->text()));
    EXPECT_FALSE(bound->DataChanged());
    bound->fill(QVariant(qint64(27)));
    EXPECT_EQ("27", str(box->text()));
    bound->fill(QVariant());
    EXPECT_EQ("", str(box->text()));
    EXPECT_FALSE(bound->DataChanged());
    EXPECT_TRUE(bound->storeValue().isNull());
}

TEST_F(BoundLineEditTest, TypingRaisesTheFlagAndIsStored) {
    bound->fill(QStringLiteral("Rossi"));
    box->setFocus();
    box->end(false);
    QTest::keyClicks(box, "ni");
    EXPECT_TRUE(bound->DataChanged());
    EXPECT_EQ("Rossini", str(bound->storeValue().toString()));

    // A reposition clears the flag; the next fill leaves it down.
    bound->setDataChanged(false);
    bound->fill(QStringLiteral("Bianchi"));
    EXPECT_FALSE(bound->DataChanged());
    test::typeText(box, QStringLiteral("ò"));
    EXPECT_TRUE(bound->DataChanged());
    EXPECT_EQ("Bianchiò", str(bound->storeValue().toString()));
}

TEST_F(BoundLineEditTest, TheProgramSettingTheTextRaisesTheFlag) {
    bound->fill(QStringLiteral("Rossi"));
    box->setText(QStringLiteral("Verdi"));
    EXPECT_TRUE(bound->DataChanged());
    EXPECT_EQ("Verdi", str(bound->storeValue().toString()));
}

TEST_F(BoundLineEditTest, TypingInAnotherBoxLeavesTheFlagDown) {
    bound->fill(QStringLiteral("Rossi"));
    QTest::keyClicks(other, "abc");
    EXPECT_FALSE(bound->DataChanged());
}

TEST_F(BoundLineEditTest, AnEmptiedBoxIsStoredAsNull) {
    bound->fill(QStringLiteral("Ro"));
    box->setFocus();
    box->end(false);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_TRUE(bound->DataChanged());
    EXPECT_EQ("R", str(bound->storeValue().toString()));
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_TRUE(bound->DataChanged());
    EXPECT_TRUE(bound->storeValue().isNull());
    EXPECT_TRUE(bound->storeValue().isValid() == false);
}

TEST_F(BoundLineEditTest, BlanksAreKeptAsTyped) {
    QTest::keyClicks(box, "  Rossi ");
    EXPECT_EQ("  Rossi ", str(bound->storeValue().toString()));
}

TEST_F(BoundLineEditTest, OutlivedOrOutlivingTheBox) {
    // The binding goes first: the box no longer reports to it.
    bound.reset();
    box->setText(QStringLiteral("after the binding"));

    // The box goes first: the binding shows and stores nothing.
    auto* doomed = new QLineEdit;
    BoundLineEdit orphan(doomed, QStringLiteral("Nome"));
    orphan.fill(QStringLiteral("Mario"));
    delete doomed;
    orphan.fill(QStringLiteral("Luigi"));
    EXPECT_TRUE(orphan.storeValue().isNull());
    EXPECT_FALSE(orphan.DataChanged());
}

TEST(BoundLabel, ShowsTheFieldAndNeverChangesIt) {
    QLabel label;
    BoundLabel bound(&label, QStringLiteral("ID"));
    EXPECT_EQ("ID", str(bound.DataField()));
    bound.fill(QVariant(qint64(42)));
    EXPECT_EQ("42", str(label.text()));
    EXPECT_EQ("42", str(bound.storeValue().toString()));
    label.setText(QStringLiteral("43"));
    EXPECT_FALSE(bound.DataChanged());
    bound.setDataChanged(true);
    EXPECT_FALSE(bound.DataChanged());
    bound.fill(QVariant());
    EXPECT_EQ("", str(label.text()));
    EXPECT_TRUE(bound.storeValue().isNull());
}

TEST(FieldText, NullNumbersAndTexts) {
    EXPECT_EQ("", str(fieldText(QVariant())));
    EXPECT_EQ("", str(fieldText(QVariant(QMetaType(QMetaType::QString)))));
    EXPECT_EQ("", str(fieldText(QVariant(QMetaType(QMetaType::LongLong)))));
    EXPECT_EQ("27", str(fieldText(QVariant(qint64(27)))));
    EXPECT_EQ("27", str(fieldText(QVariant(27))));
    EXPECT_EQ("-3", str(fieldText(QVariant(-3))));
    EXPECT_EQ("9000000000", str(fieldText(QVariant(qint64(9000000000)))));
    EXPECT_EQ("27", str(fieldText(QVariant(27.0))));
    EXPECT_EQ("100000", str(fieldText(QVariant(1e5))));
    EXPECT_EQ("2.5", str(fieldText(QVariant(2.5))));
    EXPECT_EQ(" Rossi ", str(fieldText(QVariant(QStringLiteral(" Rossi ")))));
    EXPECT_EQ("0027", str(fieldText(QVariant(QStringLiteral("0027")))));
}

// ---------------------------------------------------------------- CandyHCommand and CandyScreen

class CandyTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(300, 200);
        first = new CandyHCommand(QStringLiteral("Aggiungi"), &window);
        first->setGeometry(10, 10, 175, 32);
        second = new CandyHCommand(QStringLiteral("Cerca"), &window);
        second->setGeometry(10, 60, 175, 32);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QWidget window;
    CandyHCommand* first = nullptr;
    CandyHCommand* second = nullptr;
};

TEST_F(CandyTest, ColoursAndFontAreKept) {
    EXPECT_EQ(QColor(255, 255, 255), first->captionColor());
    EXPECT_EQ(QColor(128, 128, 255), first->focusColor());
    EXPECT_TRUE(first->animation());

    first->setCaptionColor(QColor(0, 0, 192));
    first->setFocusColor(QColor(255, 128, 0));
    first->setAnimation(false);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(9.75);
    first->setFont(font);
    QApplication::processEvents();

    EXPECT_EQ(QColor(0, 0, 192), first->captionColor());
    EXPECT_EQ(QColor(255, 128, 0), first->focusColor());
    EXPECT_FALSE(first->animation());
    EXPECT_EQ("Aggiungi", str(first->text()));
    // The look does not override the caller's font.
    EXPECT_DOUBLE_EQ(9.75, first->font().pointSizeF());
    EXPECT_EQ("MS Sans Serif", str(first->font().family()));
}

TEST_F(CandyTest, CaptionIsDrawnInItsColour) {
    const QColor yellow(255, 255, 0);
    EXPECT_FALSE(hasPixel(first->grab().toImage(), yellow));
    first->setCaptionColor(yellow);
    EXPECT_TRUE(hasPixel(first->grab().toImage(), yellow));
}

TEST_F(CandyTest, FocusColourFramesTheButtonWithTheFocus) {
    const QColor orange(255, 128, 0);
    first->setFocusColor(orange);
    second->setFocusColor(orange);
    second->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(second->hasFocus());
    const QImage focused = second->grab().toImage();
    const QImage unfocused = first->grab().toImage();
    const int middle = focused.height() / 2;
    EXPECT_EQ(orange.rgb(), focused.pixelColor(0, middle).rgb());
    EXPECT_NE(orange.rgb(), unfocused.pixelColor(0, middle).rgb());
    EXPECT_FALSE(hasPixel(unfocused, orange));

    first->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(orange.rgb(), first->grab().toImage().pixelColor(0, middle).rgb());
    EXPECT_NE(orange.rgb(), second->grab().toImage().pixelColor(0, middle).rgb());
}

TEST_F(CandyTest, AnimationBrightensTheButtonUnderThePointer) {
    // The first button has the focus, the second not; the pointer brightens both.
    ASSERT_TRUE(first->hasFocus());
    for (CandyHCommand* button : {second, first}) {
        SCOPED_TRACE(str(button->text()));
        const QPoint inside(button->width() / 2, 4);
        QTest::mouseMove(&window, QPoint(290, 190));
        QApplication::processEvents();
        ASSERT_FALSE(button->underMouse());
        const QImage still = button->grab().toImage();
        QTest::mouseMove(button, inside);
        QApplication::processEvents();
        ASSERT_TRUE(button->underMouse());
        EXPECT_GT(qGray(button->grab().toImage().pixel(inside)), qGray(still.pixel(inside)));

        // Without the animation the pointer changes nothing.
        button->setAnimation(false);
        QApplication::processEvents();
        EXPECT_EQ(still.pixel(inside), button->grab().toImage().pixel(inside));
    }
}

TEST_F(CandyTest, ClickedByMouseSpaceReturnAndEnter) {
    QSignalSpy clicks(first, &QAbstractButton::clicked);
    QSignalSpy others(second, &QAbstractButton::clicked);
    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_EQ(1, clicks.count());

    first->setFocus();
    QTest::keyClick(first, Qt::Key_Space);
    EXPECT_EQ(2, clicks.count());
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_EQ(3, clicks.count());
    QTest::keyClick(first, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(4, clicks.count());
    QTest::keyClick(first, Qt::Key_A);
    EXPECT_EQ(4, clicks.count());
    EXPECT_EQ(0, others.count());

    // Tab moves on; Return then clicks the other button only.
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_TRUE(second->hasFocus());
    QTest::keyClick(second, Qt::Key_Return);
    EXPECT_EQ(4, clicks.count());
    EXPECT_EQ(1, others.count());
}

TEST_F(CandyTest, DisabledButtonIsNotClicked) {
    QSignalSpy clicks(first, &QAbstractButton::clicked);
    first->setEnabled(false);
    QTest::keyClick(first, Qt::Key_Return);
    QTest::keyClick(first, Qt::Key_Space);
    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_EQ(0, clicks.count());
}

TEST(CandyScreen, PaintsAGradientBackground) {
    CandyScreen panel;
    panel.resize(200, 120);
    const QImage image = panel.grab().toImage();
    const QColor topLeft = image.pixelColor(1, 1);
    const QColor bottomRight = image.pixelColor(198, 118);
    EXPECT_NE(topLeft.rgb(), bottomRight.rgb());
    EXPECT_GT(qGray(topLeft.rgb()), qGray(bottomRight.rgb()));
    // Bluish throughout.
    EXPECT_GT(topLeft.blue(), topLeft.red());
    EXPECT_GT(bottomRight.blue(), bottomRight.red());
}

// ---------------------------------------------------------------- message boxes

TEST(MessageBoxSetup, YesNoBoxWithItalianButtonsAndTheDefaultAsked) {
    QMessageBox box;
    configureMessageBox(box, QStringLiteral(" Vuoi salvare? "), MsgButtons::YesNo, MsgIcon::Exclamation,
                        QString(), MsgAnswer::No);
    EXPECT_EQ(" Vuoi salvare? ", str(box.text()));
    EXPECT_EQ("Quorvane", str(box.windowTitle()));
    EXPECT_EQ(QMessageBox::Warning, box.icon());
    ASSERT_NE(nullptr, box.button(QMessageBox::Yes));
    ASSERT_NE(nullptr, box.button(QMessageBox::No));
    EXPECT_EQ(nullptr, box.button(QMessageBox::Ok));
    EXPECT_EQ(2u, box.buttons().size());
    EXPECT_EQ("&Sì", str(box.button(QMessageBox::Yes)->text()));
    EXPECT_EQ("&No", str(box.button(QMessageBox::No)->text()));
    EXPECT_EQ(box.button(QMessageBox::No), box.defaultButton());
    EXPECT_EQ(box.button(QMessageBox::No), box.escapeButton());

    QMessageBox other;
    configureMessageBox(other, QStringLiteral("?"), MsgButtons::YesNo, MsgIcon::None, QString(),
                        MsgAnswer::Yes);
    EXPECT_EQ(other.button(QMessageBox::Yes), other.defaultButton());
    EXPECT_EQ(QMessageBox::NoIcon, other.icon());
}

TEST(MessageBoxSetup, OkBoxWithEachIconAndItsOwnTitle) {
    const std::vector<std::pair<MsgIcon, QMessageBox::Icon>> icons{
        {MsgIcon::None, QMessageBox::NoIcon},
        {MsgIcon::Exclamation, QMessageBox::Warning},
        {MsgIcon::Information, QMessageBox::Information},
        {MsgIcon::Critical, QMessageBox::Critical}};
    for (const auto& [icon, qtIcon] : icons) {
        SCOPED_TRACE(int(icon));
        QMessageBox box;
        configureMessageBox(box, QStringLiteral("Errore"), MsgButtons::Ok, icon,
                            QStringLiteral("Attenzione "), MsgAnswer::Yes);
        EXPECT_EQ(qtIcon, box.icon());
        EXPECT_EQ("Attenzione ", str(box.windowTitle()));
        ASSERT_EQ(1u, box.buttons().size());
        ASSERT_NE(nullptr, box.button(QMessageBox::Ok));
        EXPECT_EQ("OK", str(box.button(QMessageBox::Ok)->text()));
        EXPECT_EQ(box.button(QMessageBox::Ok), box.defaultButton());
    }
}

TEST(MessageBoxSetup, PromptIsShownAsPlainText) {
    QMessageBox box;
    configureMessageBox(box, QStringLiteral("<b>D'Amico</b>\nriga due"), MsgButtons::Ok, MsgIcon::None,
                        QString(), MsgAnswer::Yes);
    EXPECT_EQ(Qt::PlainText, box.textFormat());
    EXPECT_EQ("<b>D'Amico</b>\nriga due", str(box.text()));
}

TEST(MessageBoxAnswer, YesNoAndClosing) {
    {
        QMessageBox box;
        configureMessageBox(box, QStringLiteral("?"), MsgButtons::YesNo, MsgIcon::None, QString(),
                            MsgAnswer::No);
        box.show();
        box.button(QMessageBox::Yes)->click();
        EXPECT_EQ(MsgAnswer::Yes, answerOf(box, MsgButtons::YesNo));
    }
    {
        QMessageBox box;
        configureMessageBox(box, QStringLiteral("?"), MsgButtons::YesNo, MsgIcon::None, QString(),
                            MsgAnswer::Yes);
        box.show();
        box.button(QMessageBox::No)->click();
        EXPECT_EQ(MsgAnswer::No, answerOf(box, MsgButtons::YesNo));
    }
    {
        // Esc on a box whose default is Yes still answers No.
        QMessageBox box;
        configureMessageBox(box, QStringLiteral("?"), MsgButtons::YesNo, MsgIcon::None, QString(),
                            MsgAnswer::Yes);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        QTest::keyClick(&box, Qt::Key_Escape);
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(MsgAnswer::No, answerOf(box, MsgButtons::YesNo));
    }
    {
        // The window's close button, too.
        QMessageBox box;
        configureMessageBox(box, QStringLiteral("?"), MsgButtons::YesNo, MsgIcon::None, QString(),
                            MsgAnswer::Yes);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        EXPECT_TRUE(box.close());
        EXPECT_EQ(MsgAnswer::No, answerOf(box, MsgButtons::YesNo));
    }
    {
        // Return takes the default button.
        QMessageBox box;
        configureMessageBox(box, QStringLiteral("?"), MsgButtons::YesNo, MsgIcon::None, QString(),
                            MsgAnswer::Yes);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        QTest::keyClick(&box, Qt::Key_Return);
        EXPECT_EQ(MsgAnswer::Yes, answerOf(box, MsgButtons::YesNo));
    }
    {
        QMessageBox box;
        configureMessageBox(box, QStringLiteral("!"), MsgButtons::Ok, MsgIcon::None, QString(),
                            MsgAnswer::Yes);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        QTest::keyClick(&box, Qt::Key_Escape);
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(MsgAnswer::Ok, answerOf(box, MsgButtons::Ok));
    }
}

TEST(ItalianTranslations, QtsOwnTextsSpeakItalianAndLoadOnce) {
    // test_main installed them; a second call adds nothing.
    const auto before = qApp->findChildren<QTranslator*>().size();
    ASSERT_GE(before, 1);
    installItalianTranslations();
    EXPECT_EQ(before, qApp->findChildren<QTranslator*>().size());
    EXPECT_EQ("Annulla", str(QCoreApplication::translate("QPlatformTheme", "Cancel")));
    EXPECT_EQ("&Sì", str(QCoreApplication::translate("QPlatformTheme", "&Yes")));
    EXPECT_EQ("Stampa", str(QCoreApplication::translate("QPrintDialog", "Print")));
}

// ---------------------------------------------------------------- printer

TEST(ImagePlacement, FitsTheAreaKeepingProportionsCentredAtTheTop) {
    const QRect page(0, 0, 1000, 1400);
    // Wider than the page: full width, at the top.
    EXPECT_EQ(QRect(0, 0, 1000, 500), imagePlacement(QSize(600, 300), page));
    // Taller: full height, centred across.
    EXPECT_EQ(QRect(250, 0, 500, 1400), imagePlacement(QSize(100, 280), page));
    // Small images grow to fit.
    EXPECT_EQ(QRect(0, 0, 1000, 1000), imagePlacement(QSize(10, 10), page));
    // The area's own origin counts.
    EXPECT_EQ(QRect(60, 20, 1000, 500), imagePlacement(QSize(600, 300), QRect(60, 20, 1000, 1400)));
    EXPECT_TRUE(imagePlacement(QSize(), page).isNull());
    EXPECT_TRUE(imagePlacement(QSize(10, 10), QRect()).isNull());
}

class QtPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        image = QImage(400, 300, QImage::Format_RGB32);
        image.fill(QColor(40, 90, 200));
    }

    QTemporaryDir dir;
    QImage image;
};

TEST_F(QtPrinterTest, PrintsAnImageIntoAPdfFile) {
    QtPrinter printer;
    const QString path = dir.filePath(QStringLiteral("scheda.pdf"));
    printer.device().setOutputFormat(QPrinter::PdfFormat);
    printer.device().setOutputFileName(path);
    printer.PaintPicture(image);
    printer.EndDoc();

    const QByteArray pdf = test::readFile(path);
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_TRUE(pdf.contains("/Image"));
    EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
}

TEST_F(QtPrinterTest, EachDocumentIsItsOwnFile) {
    QtPrinter printer;
    printer.device().setOutputFormat(QPrinter::PdfFormat);
    const QString first = dir.filePath(QStringLiteral("uno.pdf"));
    const QString second = dir.filePath(QStringLiteral("due.pdf"));
    printer.device().setOutputFileName(first);
    printer.PaintPicture(image);
    printer.EndDoc();
    printer.device().setOutputFileName(second);
    printer.PaintPicture(image);
    printer.EndDoc();
    EXPECT_TRUE(test::readFile(first).startsWith("%PDF"));
    EXPECT_TRUE(test::readFile(second).startsWith("%PDF"));
}

TEST_F(QtPrinterTest, AFileThatCannotBeWrittenRaisesAndPrintingGoesOnAfterwards) {
    QtPrinter printer;
    printer.device().setOutputFormat(QPrinter::PdfFormat);
    printer.device().setOutputFileName(dir.filePath(QStringLiteral("manca/scheda.pdf")));
    EXPECT_THROW(printer.PaintPicture(image), std::runtime_error);
    printer.EndDoc();

    const QString path = dir.filePath(QStringLiteral("scheda.pdf"));
    printer.device().setOutputFileName(path);
    printer.PaintPicture(image);
    printer.EndDoc();
    EXPECT_TRUE(test::readFile(path).startsWith("%PDF"));
}

TEST_F(QtPrinterTest, EndingWithoutAPictureWritesNothing) {
    QtPrinter printer;
    const QString path = dir.filePath(QStringLiteral("vuoto.pdf"));
    printer.device().setOutputFormat(QPrinter::PdfFormat);
    printer.device().setOutputFileName(path);
    printer.EndDoc();
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(QtPrinterTest, ThePrinterDrawsInHighResolution) {
    QtPrinter printer;
    printer.device().setOutputFormat(QPrinter::PdfFormat);
    // A printer in screen resolution would draw at 96 dots per inch.
    EXPECT_GE(printer.device().resolution(), 300);
}

TEST(PrintDialog, OffersPrintingToAFileInItalian) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    configurePrintDialog(dialog);
    EXPECT_TRUE(dialog.testOption(QAbstractPrintDialog::PrintToFile));
    EXPECT_EQ("Stampa", str(dialog.windowTitle()));
}

TEST(FakePrinterPdf, TestsCanPrintThroughTheSameLayout) {
    QTemporaryDir dir;
    test::FakePrinter printer;
    const QString path = dir.filePath(QStringLiteral("elenco.pdf"));
    printer.printToFile(path);
    QImage image(50, 80, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(printer.ShowPrinter(nullptr));
    printer.PaintPicture(image);
    printer.EndDoc();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("%PDF"));
}

// ---------------------------------------------------------------- program end

TEST(QtProgramEnd, LeavesTheEventLoop) {
    QtProgramEnd end;
    EXPECT_FALSE(end.ended());
    QTimer::singleShot(0, qApp, [&end] { end.end(); });
    // Should end() fail to leave the loop, this leaves it with another code.
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    safety.start(30000);
    EXPECT_EQ(0, QCoreApplication::exec());
    EXPECT_TRUE(end.ended());
}

TEST(QtProgramEnd, BeforeTheLoopRunsItIsOnlyNoted) {
    QtProgramEnd end;
    end.end();
    EXPECT_TRUE(end.ended());
}

TEST(MessageBoxSetup, AHugeValueKeepsTheBoxOnTheScreen) {
    const QString surname(1000000, u'M');
    const QString prompt = QStringLiteral("Devi aprire la scheda relativa a:   \r\nMario\r\n") + surname +
                           QStringLiteral("\r\n\r\n");
    QMessageBox box;
    configureMessageBox(box, prompt, MsgButtons::Ok, MsgIcon::None, QString(), MsgAnswer::Yes);
    const QStringList lines = box.text().split(u'\n');
    ASSERT_EQ(5, lines.size());
    EXPECT_EQ("Devi aprire la scheda relativa a:   \r", str(lines[0]));
    EXPECT_EQ("Mario\r", str(lines[1]));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("MMMM")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("\u2026\r")));
    EXPECT_LT(lines[2].size(), 200);
    const QSize size = box.sizeHint();
    EXPECT_LT(size.width(), 1280);
    EXPECT_LT(size.height(), 800);

    // A thousand lines are cut too; an emoji is never split; ordinary prompts stay exactly as they are.
    QMessageBox tall;
    configureMessageBox(tall, QStringLiteral("riga\n").repeated(1000), MsgButtons::Ok, MsgIcon::None,
                        QString(), MsgAnswer::Yes);
    EXPECT_LT(tall.sizeHint().height(), 800);
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(QString(99, u'a') + QChar(0x2026), shownPrompt(QString(99, u'a') + emoji + QString(50, u'b')));
    EXPECT_EQ(" Vuoi salvare? \r\n", str(shownPrompt(QStringLiteral(" Vuoi salvare? \r\n"))));
    // A long sentence of the program's own is wrapped by the box, never cut.
    const QString sentence =
        QStringLiteral("Quorvane è già aperto sugli stessi dati, su questo computer: ").repeated(4);
    EXPECT_EQ(sentence, shownPrompt(sentence));
    QMessageBox wide;
    configureMessageBox(wide, sentence, MsgButtons::Ok, MsgIcon::None, QString(), MsgAnswer::Yes);
    wide.show(); // the box wraps its text as it is shown
    EXPECT_LT(wide.width(), 1280);
    wide.hide();
}

TEST(ProgressWindow, ShowsTheWorkAndNothingTheUserPressesClosesItBeforeTheEnd) {
    qv::QtProgress progress;
    progress.begin(QStringLiteral("Quorvane"),
                   QStringLiteral("Lettura dell'archivio del vecchio programma..."));
    QWidget* window = progress.window();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ("Quorvane", str(window->windowTitle()));
    progress.step(QStringLiteral("Pazienti copiati: 5 di 20"), 5, 20);
    auto* bar = window->findChild<QProgressBar*>();
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(5, bar->value());
    EXPECT_EQ(20, bar->maximum());
    EXPECT_EQ("Pazienti copiati: 5 di 20", str(window->findChild<QLabel*>()->text()));
    EXPECT_EQ("Pazienti copiati: 5 di 20", str(bar->accessibleName()));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible()) << "Esc does not close it";
    progress.end();
    EXPECT_EQ(nullptr, progress.window());
}
