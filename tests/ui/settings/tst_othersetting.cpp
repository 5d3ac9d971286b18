// The device page: the engine's devices, the stored choice, saving only the three devices (also
// during a call) and a store that refuses writes.

#include "settingsfixture.h"

#include "data/zimdata.h"
#include "phone/zimphone.h"
#include "support/sipprunner.h"
#include "ui/settings/othersetting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

namespace {

template <typename T> T* child(QWidget* window, const char* name)
{
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QComboBox* combo(QWidget* w, const char* name)
{
    return child<QComboBox>(w, name);
}

QStringList items(QComboBox* box)
{
    QStringList result;
    for (int i = 0; i < box->count(); ++i)
        result.append(box->itemText(i));
    return result;
}

void click(QWidget* w, const char* name)
{
    QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton);
}

} // namespace

class TestOtherSetting : public QObject
{
    Q_OBJECT
private slots:
    void window_has_its_title_size_and_plain_labels();
    void lists_are_the_engine_devices_with_the_stored_ones_selected();
    void vanished_device_selects_the_first_and_saving_stores_it();
    void save_during_call_is_accepted_without_warning();
    void read_only_store_warns_and_keeps_the_choice();
    void cancel_then_reopen_shows_the_stored_devices();
    void transfers_asked_by_the_other_party_are_a_saved_and_lockable_choice();
    void recording_choices_are_saved_and_lockable();
};

void TestOtherSetting::window_has_its_title_size_and_plain_labels()
{
    SettingsFixture fixture;
    OtherSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    QCOMPARE(window.windowTitle(), QStringLiteral("その他設定"));
    QCOMPARE(window.width(), 380);
    // Taller than the device page needs: the keys page shows its rows whole.
    auto* pages = child<QTabWidget>(&window, "tabWidget");
    pages->setCurrentIndex(pages->count() - 1);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* keys = window.findChild<QWidget*>(QStringLiteral("autoAnswerDelay"));
    QVERIFY(keys->height() >= keys->sizeHint().height());
    window.hide();
    pages->setCurrentIndex(0);
    QVERIFY(window.windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    auto* tabs = child<QTabWidget>(&window, "tabWidget");
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QStringLiteral("メディア設定"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("デバッグ"));
    const QStringList texts = {"Playback", "Ringback", "Capture"};
    const char* names[] = {"label", "label_2", "label_3"};
    for (int i = 0; i < 3; ++i) {
        auto* label = child<QLabel>(&window, names[i]);
        QCOMPARE(label->text(), texts[i]);
        QVERIFY(label->toolTip().isEmpty());
    }
}

void TestOtherSetting::lists_are_the_engine_devices_with_the_stored_ones_selected()
{
    SettingsFixture fixture;
    const QStringList players = fixture.playback_devices();
    const QStringList recorders = fixture.capture_devices();
    if (players.isEmpty() || recorders.isEmpty())
        QSKIP("the engine lists no sound device here (is the PulseAudio null sink running?)");
    // The same player may ring and play.
    QVERIFY(fixture.data()->save_media_settings(
        {{"playback", players.last()}, {"ringback", players.last()}, {"capture", recorders.last()}}));
    OtherSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QCOMPARE(items(combo(&window, "playbackComboBox")), players);
    QCOMPARE(items(combo(&window, "ringbackComboBox")), players);
    QCOMPARE(items(combo(&window, "captureComboBox")), recorders);
    QCOMPARE(combo(&window, "playbackComboBox")->currentText(), players.last());
    QCOMPARE(combo(&window, "ringbackComboBox")->currentText(), players.last());
    QCOMPARE(combo(&window, "captureComboBox")->currentText(), recorders.last());
}

void TestOtherSetting::vanished_device_selects_the_first_and_saving_stores_it()
{
    SettingsFixture fixture;
    const QStringList players = fixture.playback_devices();
    const QStringList recorders = fixture.capture_devices();
    if (players.isEmpty() || recorders.isEmpty())
        QSKIP("the engine lists no sound device here (is the PulseAudio null sink running?)");
    // A name that differs only in case is another device.
    QVERIFY(fixture.data()->save_media_settings({{"playback", "Unplugged USB Headset"},
                                                 {"ringback", players.last().toUpper() + "x"},
                                                 {"capture", "gone"},
                                                 {"captureGain", "7"}}));
    OtherSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QCOMPARE(combo(&window, "playbackComboBox")->currentIndex(), 0);
    QCOMPARE(combo(&window, "ringbackComboBox")->currentIndex(), 0);
    QCOMPARE(combo(&window, "captureComboBox")->currentIndex(), 0);

    ModalAnswerer answerer;
    click(&window, "pushButton");
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(!window.isVisible());
    const QMap<QString, QString> media = fixture.stored(ZimData::Media);
    QCOMPARE(media.value("playback"), players.first());
    QCOMPARE(media.value("ringback"), players.first());
    QCOMPARE(media.value("capture"), recorders.first());
    // The gain belongs to the settings window and stays.
    QCOMPARE(media.value("captureGain"), QStringLiteral("7"));
}

void TestOtherSetting::save_during_call_is_accepted_without_warning()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    SettingsFixture fixture;
    const QStringList players = fixture.playback_devices();
    if (players.isEmpty())
        QSKIP("the engine lists no sound device here (is the PulseAudio null sink running?)");
    fixture.start_engine();
    QVERIFY(fixture.start_call(callee));

    OtherSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    combo(&window, "ringbackComboBox")->setCurrentIndex(players.size() - 1);
    ModalAnswerer answerer;
    click(&window, "pushButton");
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(!window.isVisible());
    QCOMPARE(fixture.stored(ZimData::Media).value("ringback"), players.last());
    QCOMPARE(fixture.stored(ZimData::Media).value("playback"), players.first());

    // The devices are applied to the running call, which carries on.
    settle(300);
    QVERIFY(fixture.phone()->is_current_streaming());
    QVERIFY(fixture.end_call());
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

void TestOtherSetting::read_only_store_warns_and_keeps_the_choice()
{
    SettingsFixture fixture;
    const QStringList players = fixture.playback_devices();
    if (players.size() < 2)
        QSKIP("needs two playback devices to see a kept choice");
    QVERIFY(fixture.make_store_read_only());
    OtherSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    combo(&window, "playbackComboBox")->setCurrentIndex(1);
    ModalAnswerer answerer;
    click(&window, "pushButton");
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("その他設定"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("設定を保存できませんでした"));
    QVERIFY(window.isVisible());
    QCOMPARE(combo(&window, "playbackComboBox")->currentIndex(), 1);
    QVERIFY(fixture.stored(ZimData::Media).isEmpty());
}

void TestOtherSetting::cancel_then_reopen_shows_the_stored_devices()
{
    SettingsFixture fixture;
    const QStringList players = fixture.playback_devices();
    if (players.size() < 2)
        QSKIP("needs two playback devices to see a change");
    QVERIFY(fixture.data()->save_media_settings({{"playback", players.last()}}));
    OtherSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    combo(&window, "playbackComboBox")->setCurrentIndex(0);
    click(&window, "pushButton_2");
    QVERIFY(!window.isVisible());
    window.show();
    QCOMPARE(combo(&window, "playbackComboBox")->currentText(), players.last());
    QVERIFY(!window.close());
    QVERIFY(!window.isVisible());
    QCOMPARE(fixture.stored(ZimData::Media).value("playback"), players.last());
}

// On by default; unticked and saved it is stored "0"; a desk file that locks it greys it and keeps
// its value whatever the page holds.
void TestOtherSetting::transfers_asked_by_the_other_party_are_a_saved_and_lockable_choice()
{
    SettingsFixture fixture;
    OtherSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    auto* accept = child<QCheckBox>(&window, "acceptTransfers");
    QVERIFY(accept->isChecked());
    QVERIFY(accept->isEnabled());
    accept->setChecked(false);
    click(&window, "pushButton");
    QCOMPARE(fixture.data()->other_settings().value("acceptTransfers"), QStringLiteral("0"));

    QVERIFY(fixture.data()->save_provisioned({{ZimData::Other, {{"acceptTransfers", "1"}}}},
                                             {{ZimData::Other, {"acceptTransfers"}}}));
    window.show();
    QVERIFY(accept->isChecked());
    QVERIFY(!accept->isEnabled());
    click(&window, "pushButton");
    QCOMPARE(fixture.data()->other_settings().value("acceptTransfers"), QStringLiteral("1"));
}

// Every call or on demand, the folder and the days kept are stored as set; a desk file that locks
// the folder greys it.
void TestOtherSetting::recording_choices_are_saved_and_lockable()
{
    SettingsFixture fixture;
    OtherSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    auto* every_call = child<QCheckBox>(&window, "recordCalls");
    auto* folder = child<QLineEdit>(&window, "recordingFolder");
    auto* days = child<QSpinBox>(&window, "recordingDays");
    QVERIFY(!every_call->isChecked());
    QCOMPARE(days->text(), QStringLiteral("無期限"));
    every_call->setChecked(true);
    folder->setText(QStringLiteral(" /srv/rec "));
    days->setValue(30);
    click(&window, "pushButton");
    const QMap<QString, QString> stored = fixture.data()->other_settings();
    QCOMPARE(stored.value("recordCalls"), QStringLiteral("1"));
    QCOMPARE(stored.value("recordingFolder"), QStringLiteral("/srv/rec"));
    QCOMPARE(stored.value("recordingDays"), QStringLiteral("30"));

    QVERIFY(fixture.data()->save_provisioned({{ZimData::Other, {{"recordingFolder", "/nfs/rec"}}}},
                                             {{ZimData::Other, {"recordingFolder"}}}));
    window.show();
    QCOMPARE(folder->text(), QStringLiteral("/nfs/rec"));
    QVERIFY(!folder->isEnabled());
}

QTEST_MAIN(TestOtherSetting)
#include "tst_othersetting.moc"
