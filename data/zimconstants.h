#pragma once

// Every fixed text of the program in one place: product strings, locations, sounds, style sheets,
// menu texts, placeholders, status texts and the single-instance names.

#include <QString>
#include <QUrl>

namespace zim {

// Product and locations
inline const QString VERSION = QStringLiteral("1.4.0");
inline const QString WINDOW_TITLE_FORMAT = QStringLiteral("Velora Softphone Zarari %1");
inline const QString ABOUT_NOTICE_FORMAT = QStringLiteral("© 2024-%1 Velora Softphone Zarari developers");
inline const QString SHORT_PRODUCT_NAME = QStringLiteral("VeloraSimple");
inline const QString CLIENT_ID = QStringLiteral("vlclient");
inline const QString TMP_DIR = QStringLiteral("./tmp");
inline const QString DATA_DIR = QStringLiteral("/data");
inline const QString PRODUCT_TITLE = QStringLiteral("Velora Softphone Zarari");
inline const QString SHORT_TITLE = QStringLiteral("Velora Zarari");
inline const QUrl PRODUCT_SITE = QUrl(QStringLiteral("http://velora.example.com/"));
inline const QString APP_ICON = QStringLiteral(":/ZIMPhone/images/icon.png");
inline const QString HISTORY_WINDOW_TITLE = QStringLiteral("履歴一覧");

// Single instance: the lock file and the command socket, each followed by "-<uid>"
inline const QString INSTANCE_LOCK_NAME = QStringLiteral("VeloraPhoneSimple");
inline const QString LOCAL_SERVER_NAME = QStringLiteral("VeloraPhoneServerSimple");

// Database
inline const QString DB_DRIVER = QStringLiteral("QSQLITE");
inline const QString DB_PATH = DATA_DIR + QStringLiteral("/zimpdata");
inline const QString DB_USER = QStringLiteral("zimpdata");
inline const QString DB_PASSWORD = QStringLiteral("QuenBoat");
inline const QString HISTORY_SCHEMA =
    QStringLiteral("create table history(Id integer PRIMARY KEY autoincrement, Status char(1), PhoneNumber "
                   "text, DialogTime varchar(8), DialogDate text, DeleteFlg char(1))");
// The history lists other than "すべて" select their rows with these filters. Each has a partial
// index of the same condition, so a list reads its newest rows without walking past every call of
// other kinds (a list of missed calls in a history of outgoing ones would read the whole table).
inline const QString HISTORY_INCOMING_FILTER = QStringLiteral("Status GLOB '*[13]*'");
inline const QString HISTORY_OUTGOING_FILTER = QStringLiteral("Status GLOB '*[24]*'");
inline const QString HISTORY_MISSED_FILTER = QStringLiteral("instr(Status, '3') > 0");
// Columns added to the history after the first six, in this order (an older database gets the
// missing ones at start, its rows kept): how the call ended and how it sounded. NULL where a row
// does not know (rows of an earlier version, figures never measured).
enum HistoryColumn {
    HISTORY_OUTCOME = 6,       // "answered", "busy", "no-answer", "cancelled", "missed", "rejected",
                               // "transferred" or "failed"
    HISTORY_SIP_CODE = 7,      // the SIP status that ended an unanswered call (486, 503…)
    HISTORY_LOSS_SENT = 8,     // % of our packets the peer reported lost
    HISTORY_LOSS_RECEIVED = 9, // % of the peer's packets that never arrived
    HISTORY_JITTER = 10,       // mean interarrival jitter, ms
    HISTORY_ROUND_TRIP = 11,   // mean round trip, ms
    HISTORY_RATING = 12,       // the SIP library's rating, 0 to 5
    HISTORY_RECORDING = 13,    // the call's recording (its file's path), NULL when none
    HISTORY_COLUMN_COUNT = 14
};
inline const char* const HISTORY_ADDED_COLUMNS[][2] = {
    {"Outcome", "text"},  {"SipCode", "integer"},  {"LossSent", "real"}, {"LossReceived", "real"},
    {"JitterMs", "real"}, {"RoundTripMs", "real"}, {"Rating", "real"}, {"Recording", "text"}};
inline const QString SETTINGS_SCHEMA =
    QStringLiteral("create table settings(Category varchar(2), Key varchar(255), Value varchar(255))");
// Category 4: where the main window was last dropped, "x,y"; without it the window system places it.
inline const QString KEY_MAIN_WINDOW_POSITION = QStringLiteral("mainWindowPosition");

// Account security keys (category 1); a missing key means UDP, plain RTP, no STUN, no extra CA.
inline const QString KEY_TRANSPORT = QStringLiteral("transport");
inline const QString KEY_MEDIA_ENCRYPTION = QStringLiteral("mediaEncryption");
inline const QString KEY_STUN_SERVER = QStringLiteral("stunServer");
inline const QString KEY_CA_FILE = QStringLiteral("caFile");
// The account's own ports (category 1); a missing key keeps a random SIP port, audio from
// 10000-60000 and the SIP library's DSCP mark for audio.
inline const QString KEY_LOCAL_SIP_PORT = QStringLiteral("localSipPort");
inline const QString KEY_AUDIO_PORTS = QStringLiteral("audioPorts");
inline const QString KEY_AUDIO_DSCP = QStringLiteral("audioDscp");
// The system's CA store (Debian's ca-certificates bundle); TLS servers are checked against it.
inline const QString SYSTEM_CA_BUNDLE = QStringLiteral("/etc/ssl/certs/ca-certificates.crt");

// Logs
inline const QString LOG_DIR = DATA_DIR + QStringLiteral("/logs");
inline const QString LOG_FILE = DATA_DIR + QStringLiteral("/logs/logger");
inline const QString CORE_LOG_FILE = DATA_DIR + QStringLiteral("/logs/core.log");

// Sounds, relative to the working directory (the executable's directory)
inline const QString SOUND_RINGBACK = QStringLiteral("./share/sounds/ringback.wav");
inline const QString SOUND_RING = QStringLiteral("./share/sounds/ring.wav");
inline const QString SOUND_DTMF_0 = QStringLiteral("./share/sounds/dtmf-0.wav");
inline const QString SOUND_DTMF_1 = QStringLiteral("./share/sounds/dtmf-1.wav");
inline const QString SOUND_DTMF_2 = QStringLiteral("./share/sounds/dtmf-2.wav");
inline const QString SOUND_DTMF_3 = QStringLiteral("./share/sounds/dtmf-3.wav");
inline const QString SOUND_DTMF_4 = QStringLiteral("./share/sounds/dtmf-4.wav");
inline const QString SOUND_DTMF_5 = QStringLiteral("./share/sounds/dtmf-5.wav");
inline const QString SOUND_DTMF_6 = QStringLiteral("./share/sounds/dtmf-6.wav");
inline const QString SOUND_DTMF_7 = QStringLiteral("./share/sounds/dtmf-7.wav");
inline const QString SOUND_DTMF_8 = QStringLiteral("./share/sounds/dtmf-8.wav");
inline const QString SOUND_DTMF_9 = QStringLiteral("./share/sounds/dtmf-9.wav");
inline const QString SOUND_DTMF_POUND = QStringLiteral("./share/sounds/dtmf-pound.wav");
inline const QString SOUND_DTMF_STAR = QStringLiteral("./share/sounds/dtmf-star.wav");
inline const QString SOUND_HANGUP = QStringLiteral("./share/sounds/hangup.wav");
inline const QString SOUND_HOLD = QStringLiteral("./share/sounds/hold.wav");
inline const QString SOUND_FAILED = QStringLiteral("./share/sounds/failed.wav");

// Three-state button style sheets: normal, hover and pressed rule, in this order.
inline const QString STYLE_DIGITAL_BUTTON =
    QStringLiteral("QPushButton{border-image: url(:/ZIMPhone/images/digital.png);}"
                   "QPushButton:hover{border-image: url(:/ZIMPhone/images/digital_hover.png);}"
                   "QPushButton:pressed{border-image: url(:/ZIMPhone/images/digital_clicked.png);}");
inline const QString STYLE_DIALOG_BUTTON =
    QStringLiteral("QPushButton{border-image: url(:/ZIMPhone/images/dialog.png);}"
                   "QPushButton:hover{border-image: url(:/ZIMPhone/images/dialog_hover.png);}"
                   "QPushButton:pressed{border-image: url(:/ZIMPhone/images/dialog_clicked.png);}");
inline const QString STYLE_PAUSE_BUTTON =
    QStringLiteral("QPushButton{border-image: url(:/ZIMPhone/images/pause.png);}"
                   "QPushButton:hover{border-image: url(:/ZIMPhone/images/pause_hover.png);}"
                   "QPushButton:pressed{border-image: url(:/ZIMPhone/images/pause_clicked.png);}");
inline const QString STYLE_TRANSFER_BUTTON =
    QStringLiteral("QPushButton{border-image: url(:/ZIMPhone/images/transfer.png);}"
                   "QPushButton:hover{border-image: url(:/ZIMPhone/images/transfer_hover.png);}"
                   "QPushButton:pressed{border-image: url(:/ZIMPhone/images/transfer_clicked.png);}");
inline const QString STYLE_TERMINATE_BUTTON =
    QStringLiteral("QPushButton{border-image: url(:/ZIMPhone/images/terminate.png);}"
                   "QPushButton:hover{border-image: url(:/ZIMPhone/images/terminate_hover.png);}"
                   "QPushButton:pressed{border-image: url(:/ZIMPhone/images/terminate_clicked.png);}");
inline const QString STYLE_SITE_DIALOG_BUTTON = QStringLiteral(
    "QPushButton{margin-right:10px;margin-left:10px;border-image: url(:/ZIMPhone/images/dialog.png);}"
    "QPushButton:hover{border-image: url(:/ZIMPhone/images/dialog_hover.png);}"
    "QPushButton:pressed{border-image: url(:/ZIMPhone/images/dialog_clicked.png);}");
inline const QString STYLE_SITE_DETAIL_BUTTON = QStringLiteral(
    "QPushButton{margin-right:10px;margin-left:10px;border-image: url(:/ZIMPhone/images/site_detail.png);}"
    "QPushButton:hover{border-image: url(:/ZIMPhone/images/site_detail_hover.png);}"
    "QPushButton:pressed{border-image: url(:/ZIMPhone/images/site_detail_clicked.png);}");
inline const QString STYLE_SITE_TERMINATE_BUTTON = QStringLiteral(
    "QPushButton{margin-right:10px;margin-left:10px;border-image: url(:/ZIMPhone/images/terminate.png);}"
    "QPushButton:hover{border-image: url(:/ZIMPhone/images/terminate_hover.png);}"
    "QPushButton:pressed{border-image: url(:/ZIMPhone/images/terminate_clicked.png);}");

// Single-rule style sheets
inline const QString STYLE_DELETE_BUTTON =
    QStringLiteral("QPushButton#deleteButton {border-image: url(:/ZIMPhone/images/delete.png)}");
inline const QString STYLE_DELETE_BUTTON_PRESSED =
    QStringLiteral("QPushButton#deleteButton {border-image: url(:/ZIMPhone/images/delete_clicked.png)}");
inline const QString STYLE_MAIN_FRAME =
    QStringLiteral("QFrame#mainFrame {border-image:url(:/ZIMPhone/images/main.png)}");
inline const QString STYLE_CLOSE_BUTTON =
    QStringLiteral("QPushButton#closeButton {border-image:url(:/ZIMPhone/images/close.png)}");
inline const QString STYLE_LOGO_LABEL =
    QStringLiteral("QLabel#logoLabel {border-image:url(:/ZIMPhone/images/logo.png)}");
inline const QString STYLE_SCREEN_GROUP_BOX =
    QStringLiteral("QGroupBox#screenGroupBox {border-image:url(:/ZIMPhone/images/screen.png)}");
inline const QString STYLE_ONLINE_STATUS =
    QStringLiteral("QLabel#onlineStatus {border-image:url(:/ZIMPhone/images/online.png)}");
inline const QString STYLE_OFFLINE_STATUS =
    QStringLiteral("QLabel#onlineStatus {border-image:url(:/ZIMPhone/images/offline.png)}");
inline const QString STYLE_SITE_FRAME_DETAIL =
    QStringLiteral("QFrame#siteFrame {border-image:url(:/ZIMPhone/images/site.png)}");
inline const QString STYLE_SITE_FRAME_SIMPLE =
    QStringLiteral("QFrame#siteFrame {border-image:url(:/ZIMPhone/images/site_simple.png)}");
inline const QString STYLE_ENCRYPTION_MARK =
    QStringLiteral("QLabel#encryptionMark {border-image:url(:/ZIMPhone/images/lock.png)}");
inline const QString STYLE_SITE_LABEL =
    QStringLiteral("QLabel#siteLabel {border-image:url(:/ZIMPhone/images/site-screen.png)}");

// Menu and window texts
inline const QString TEXT_SETTINGS = QStringLiteral("設定");
inline const QString TEXT_HISTORY = QStringLiteral("履歴");
inline const QString TEXT_CALL = QStringLiteral("通話");
inline const QString TEXT_HOLD = QStringLiteral("保留");
inline const QString TEXT_MUTE = QStringLiteral("消音");
inline const QString TEXT_RECORD = QStringLiteral("録音");
inline const QString STYLE_RECORD_BUTTON = QStringLiteral(
    "QPushButton{border-image: url(:/ZIMPhone/images/record.png);}"
    "QPushButton:hover{border-image: url(:/ZIMPhone/images/record_hover.png);}"
    "QPushButton:pressed, QPushButton:checked{border-image: url(:/ZIMPhone/images/record_clicked.png);}");
inline const QString STYLE_MUTE_BUTTON = QStringLiteral(
    "QPushButton{border-image: url(:/ZIMPhone/images/mute.png);}"
    "QPushButton:hover{border-image: url(:/ZIMPhone/images/mute_hover.png);}"
    "QPushButton:pressed, QPushButton:checked{border-image: url(:/ZIMPhone/images/mute_clicked.png);}");
inline const QString TEXT_TRANSFER = QStringLiteral("転送");
inline const QString TEXT_HANGUP = QStringLiteral("切断");
inline const QString TEXT_MINIMIZE = QStringLiteral("最小化");
inline const QString TEXT_OPEN = QStringLiteral("開く");
inline const QString TEXT_EXIT = QStringLiteral("終了");
inline const QString TEXT_ABOUT = QStringLiteral("バージョン情報");
inline const QString TEXT_ACCOUNT_SETTINGS_MENU = QStringLiteral("アカウント設定");
inline const QString TEXT_OUTLINK_SETTINGS_MENU = QStringLiteral("外部連携設定");
inline const QString TEXT_OTHER_SETTINGS_MENU = QStringLiteral("その他");
inline const QString TITLE_ACCOUNT_SETTINGS = QStringLiteral("アカウント設定");
inline const QString TITLE_OUTLINK_SETTINGS = QStringLiteral("外部連携設定");
inline const QString TITLE_OTHER_SETTINGS = QStringLiteral("その他設定");
inline const QString TITLE_SETTINGS = QStringLiteral("設定");
inline const QString TITLE_COLLEAGUES = QStringLiteral("内線状態");

// CTI web-request placeholders
inline const QString PH_CALLER_NAME = QStringLiteral("%CallerName%");
inline const QString PH_CALLER_ID = QStringLiteral("%CallerID%");
inline const QString PH_MY_ID = QStringLiteral("%MyId%");
inline const QString PH_CALL_ID = QStringLiteral("%CallId%");
inline const QString PH_OPE_ID = QStringLiteral("%OpeId%");
inline const QString PH_OPE_PW = QStringLiteral("%OpePW%");

// Registration-state words
inline const QString REG_SUCCESSFUL = QStringLiteral("sucessful");
inline const QString REG_FAILED = QStringLiteral("failed");
inline const QString REG_PROGRESS = QStringLiteral("progress");
inline const QString REG_UNREGISTER = QStringLiteral("unresigter");

// Status texts of the main window's status line
inline const QString STATUS_REGISTERING = QStringLiteral("認証中・・・");
inline const QString STATUS_REG_FAILED = QStringLiteral("認証失敗");
inline const QString STATUS_NOT_REGISTERED = QStringLiteral("未認証");
inline const QString STATUS_READY = QStringLiteral("ダイヤルできます");
// Idle, registered, and calls over UDP are refused: the server check cannot be in effect.
inline const QString STATUS_CALLS_UNCHECKED = QStringLiteral("着信元を確認できません");
// Why auto-answer does not act on UDP calls (the keys page says so under 自動応答).
inline const QString NOTE_AUTO_ANSWER_UNCHECKED =
    QStringLiteral("この SIP ライブラリでは着信元を確かめられないため、UDP の着信は受けません。");
inline const QString NOTE_AUTO_ANSWER_NO_KEY =
    QStringLiteral("サーバが登録した連絡先の鍵を返さないため、UDP の着信には自動応答しません。");
inline const QString STATUS_OUTGOING = QStringLiteral("発信中");
inline const QString STATUS_INCOMING = QStringLiteral("着信中");
inline const QString STATUS_IN_CALL = QStringLiteral("通話中");
inline const QString STATUS_ON_HOLD = QStringLiteral("保留中");
inline const QString STATUS_MUTED = QStringLiteral("ミュート中");
inline const QString STATUS_RECORDING = QStringLiteral("録音中");
// The call in conversation has sounded poor for several seconds.
inline const QString STATUS_LINE_POOR = QStringLiteral("回線品質低下");
inline const QString NOTICE_MISSED_CALL = QStringLiteral("不在着信");
inline const QString STATUS_REMOTE_HOLD = QStringLiteral("相手保留中");
inline const QString STATUS_TRANSFER_PROMPT = QStringLiteral("転送番号を入力してください");
inline const QString STATUS_TRANSFER_CALLING = QStringLiteral("転送発信中");
inline const QString STATUS_TRANSFER_IN_CALL = QStringLiteral("転送先通話中");
inline const QString STATUS_TRANSFER_ON_HOLD = QStringLiteral("転送先保留中");
inline const QString STATUS_TRANSFER_REMOTE_HOLD = QStringLiteral("転送先相手保留中");
inline const QString STATUS_NO_TRANSFER_SOURCE = QStringLiteral("転送元がありません");
inline const QString STATUS_ONLINE = QStringLiteral("オンライン");
inline const QString STATUS_TRANSFER_DONE = QStringLiteral("転送完了しました");
inline const QString STATUS_TRANSFER_FAILED = QStringLiteral("転送失敗");
inline const QString STATUS_ENCRYPTION_REFUSED = QStringLiteral("暗号化通話できません");
inline const QString TITLE_OPERATOR_LOGIN = QStringLiteral("オペレータログイン");

// Why an outgoing call or the registration failed (status line; the lamp's tooltip)
inline const QString FAIL_BUSY = QStringLiteral("話中です");
inline const QString FAIL_NO_ANSWER = QStringLiteral("応答がありません");
inline const QString FAIL_UNREACHABLE = QStringLiteral("接続できません");
inline const QString FAIL_REJECTED = QStringLiteral("拒否されました");
// A hold or transfer asked while the call waited for an answer that never came.
inline const QString FAIL_REQUEST_PENDING = QStringLiteral("応答待ちで操作できません");
inline const QString FAIL_HOLD_REFUSED = QStringLiteral("保留できません");
inline const QString FAIL_RECORDING = QStringLiteral("録音できません");
inline const QString FAIL_NO_ACCOUNT = QStringLiteral("アカウントを設定してください");
inline const QString FAIL_UNSAFE_NUMBER = QStringLiteral("この番号にはかけられません");
inline const QString FAIL_REG_CREDENTIALS = QStringLiteral("ID・パスワード誤り");
inline const QString FAIL_REG_TIMEOUT = QStringLiteral("サーバ応答なし");
inline const QString FAIL_REG_REFUSED = QStringLiteral("アドレス拒否");
inline const QString TIP_REG_CREDENTIALS = QStringLiteral("認証失敗：ID またはパスワードが違います");
inline const QString TIP_REG_TIMEOUT = QStringLiteral("認証失敗：サーバから応答がありません");
inline const QString TIP_REG_REFUSED = QStringLiteral("認証失敗：サーバがアドレスを受け付けません");
inline const QString FAIL_REG_CERTIFICATE = QStringLiteral("証明書を確認できません");
inline const QString TIP_REG_CERTIFICATE = QStringLiteral("認証失敗：サーバの証明書を確認できません");

// Operator server request pieces
inline const QString OPERATOR_SCHEME = QStringLiteral("https://");
inline const QString OPERATOR_PATH = QStringLiteral("/quick/actions/cti.php");
inline const QString OPERATOR_ACTION = QStringLiteral("set_op_status");

// Trust of the CTI servers (category 2): a CA file beside the system's, and the way out of the check
inline const QString KEY_CTI_CA_FILE = QStringLiteral("ctiCaFile");
inline const QString KEY_CTI_VERIFY_CERTIFICATE = QStringLiteral("ctiVerifyCertificate");
inline const QString MSG_CERT_UNTRUSTED = QStringLiteral("信頼できる発行元の証明書ではありません");
inline const QString MSG_CERT_EXPIRED = QStringLiteral("証明書の有効期限が切れています");
inline const QString MSG_CERT_NOT_YET_VALID = QStringLiteral("証明書の有効期間がまだ始まっていません");
inline const QString MSG_CERT_HOST_MISMATCH = QStringLiteral("証明書がこのサーバ名のものではありません");
inline const QString MSG_CERT_REVOKED = QStringLiteral("証明書は失効しています");
inline const QString MSG_CERT_CHANGED = QStringLiteral("確認した証明書と異なります");
inline const QString MSG_CERT_NO_ANSWER = QStringLiteral("サーバに接続できません");
inline const QString MSG_CA_FILE_UNREADABLE = QStringLiteral("CA証明書ファイル %1 を読み込めません");
// %1 the host, %2 the reason
inline const QString MSG_OPERATOR_CERT_FAILED =
    QStringLiteral("オペレータサーバ %1 の証明書を確認できません。\n理由：%2\n状態は送信していません。");
inline const QString MSG_SITE_CERT_FAILED =
    QStringLiteral("CRMサーバ %1 の証明書を確認できないため、ページを表示しません。\n理由：%2");
inline const QString TIP_CTI_CA_FILE = QStringLiteral("CTIサーバの証明書を発行したCAのファイル（PEM）");
inline const QString TEXT_CTI_NO_VERIFY = QStringLiteral("サーバ証明書を確認しない");
inline const QString TEXT_CTI_NO_VERIFY_WARNING =
    QStringLiteral("※偽のサーバにもオペレータのIDとパスワードが送られます");

// Messages and tooltips
inline const QString TITLE_SETTINGS_REFUSED = QStringLiteral("設定できません");
inline const QString MSG_SETTINGS_DURING_CALL = QStringLiteral("通話中の場合は再設定できません。");
inline const QString TIP_PLAYBACK_DEVICE = QStringLiteral("通話で使用するスピーカーデバイスを指定します");
inline const QString TIP_RING_DEVICE = QStringLiteral("着信音を鳴らすデバイスを指定します");
inline const QString TIP_CAPTURE_DEVICE = QStringLiteral("通話で使用するマイクデバイスを指定します");
inline const QString TIP_ENCRYPTED_MEDIA = QStringLiteral("通話の音声は暗号化されています");
inline const QString TIP_ENCRYPTED_MEDIA_OPEN_KEYS =
    QStringLiteral("通話の音声は暗号化されていますが、暗号鍵はTLSで保護されずにネットワークを通りました");
inline const QString TIP_CAPTURE_GAIN = QStringLiteral(
    "マイクの感度を調節します\n※PulseAudio（デスクトップのサウンド設定）の音量調節とは独立しています");

// History icons
inline const QString ICON_INCOMING = QStringLiteral(":/ZIMPhone/images/income.png");
inline const QString ICON_MISSED = QStringLiteral(":/ZIMPhone/images/declined.png");
inline const QString ICON_OUTGOING = QStringLiteral(":/ZIMPhone/images/out.png");
inline const QString ICON_OUTGOING_FAILED = QStringLiteral(":/ZIMPhone/images/out_failed.png");
// Beside a call that sounded poor, in the history lists.
inline const QString ICON_POOR_QUALITY = QStringLiteral(":/ZIMPhone/images/quality_poor.png");

} // namespace zim
