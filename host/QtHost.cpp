#include "host/QtHost.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <chrono>
#include <system_error>

#include "host/HostTables.h"
#include "platform/Platform.h"

namespace host {
namespace {

const char kDefaultCaption[] = "信息：";
// Frame colours of the three flat styles.
const QColor kStyleColours[3] = {QColor(123, 158, 189), QColor(164, 185, 127), QColor(198, 197, 215)};

// The window's default font: 9 pt at 96 dpi, as the description's "default".
constexpr int kDefaultPixelSize = 12;

QString CjkFallbackFamily() {
  static const QString family = [] {
    const QString preferred = QStringLiteral("WenQuanYi Micro Hei");
    if (QFontDatabase::hasFamily(preferred)) return preferred;
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QString() : chinese.first();
  }();
  return family;
}

// A face list that ends in an installed CJK face, so that no caption shows
// empty boxes where the named face is missing.
QStringList FamiliesWithFallback(const QString& first) {
  QStringList families;
  if (!first.isEmpty()) families << first;
  const QString fallback = CjkFallbackFamily();
  if (!fallback.isEmpty() && !families.contains(fallback)) families << fallback;
  return families;
}

// "label|pattern|label|pattern|" -> Qt's "label (pattern)" entries: Qt reads
// patterns only from ASCII parentheses.
QStringList QtFilters(const Text& filter) {
  QStringList entries;
  std::vector<Text> parts = SplitText(filter, "|");
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    entries << QtHost::ToQt(parts[i]) + QStringLiteral(" (") + QtHost::ToQt(parts[i + 1]) + QStringLiteral(")");
  }
  if (parts.size() % 2 == 1 && !parts.back().empty()) entries << QtHost::ToQt(parts.back());
  return entries;
}

int CodeOf(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Cancel: return kAnswerCancel;
    case QMessageBox::Abort: return kAnswerAbort;
    case QMessageBox::Retry: return kAnswerRetry;
    case QMessageBox::Ignore: return kAnswerIgnore;
    case QMessageBox::Yes: return kAnswerYes;
    case QMessageBox::No: return kAnswerNo;
    default: return kButtonOk;
  }
}

QMessageBox::StandardButton ButtonOf(int code) {
  switch (code) {
    case kAnswerCancel: return QMessageBox::Cancel;
    case kAnswerAbort: return QMessageBox::Abort;
    case kAnswerRetry: return QMessageBox::Retry;
    case kAnswerIgnore: return QMessageBox::Ignore;
    case kAnswerYes: return QMessageBox::Yes;
    case kAnswerNo: return QMessageBox::No;
    default: return QMessageBox::Ok;
  }
}

// The captions the window system gives its buttons; Qt's own depend on its
// translations. OK keeps Qt's, as the one-button boxes always have.
QString ChineseCaption(int code) {
  switch (code) {
    case kAnswerCancel: return QString::fromUtf16(u"取消");
    case kAnswerAbort: return QString::fromUtf16(u"中止");
    case kAnswerRetry: return QString::fromUtf16(u"重试");
    case kAnswerIgnore: return QString::fromUtf16(u"忽略");
    case kAnswerYes: return QString::fromUtf16(u"是");
    case kAnswerNo: return QString::fromUtf16(u"否");
    default: return QString();
  }
}

// Buttons in the low four bits, icon in the next four, the default button in
// the next, as the message-box flags of the original window system.
void ConfigureBox(QMessageBox& box, const Text& text, const Text& caption, int flags) {
  box.setWindowTitle(QtHost::ToQt(caption));
  box.setText(QtHost::ToQt(text));
  box.setTextFormat(Qt::PlainText);
  const std::vector<int> answers = MessageButtons(flags);
  QMessageBox::StandardButtons buttons;
  for (const int answer : answers) buttons |= ButtonOf(answer);
  box.setStandardButtons(buttons);
  if (answers.size() > 1) {
    for (const int answer : answers) {
      const QString own = ChineseCaption(answer);
      if (!own.isEmpty()) box.button(ButtonOf(answer))->setText(own);
    }
    box.setDefaultButton(ButtonOf(DefaultAnswer(flags)));
    box.setEscapeButton(box.button(ButtonOf(DismissAnswer(flags))));
  }
  switch (flags & 0xF0) {
    case 0x10: box.setIcon(QMessageBox::Critical); break;
    case 0x20: box.setIcon(QMessageBox::Question); break;
    case 0x30: box.setIcon(QMessageBox::Warning); break;
    case 0x40: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  // One line per line of the message, as far as the screen allows: Qt would
  // wrap long lines at a width of its own choosing.
  if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    int widest = 0;
    const QFontMetrics metrics(label->font());
    for (const QString& line : label->text().split(QLatin1Char('\n'))) {
      widest = std::max(widest, metrics.horizontalAdvance(line.trimmed()));
    }
    label->setMinimumWidth(std::min(widest + 4, 720));
  }
  // Plain buttons, as the window system draws them: no icons on them either.
  for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
}

// What a test hook is told of the box's buttons.
void DescribeButtons(QMessageBox& box, int flags, QtHost::MessageInfo& info) {
  for (const int answer : MessageButtons(flags)) {
    info.buttons.push_back(answer);
    const QAbstractButton* button = box.button(ButtonOf(answer));
    info.buttonTexts.push_back(button != nullptr ? QtHost::FromQt(button->text()) : Text());
  }
  QPushButton* defaultButton = box.defaultButton();
  info.defaultAnswer = defaultButton != nullptr ? CodeOf(box.standardButton(defaultButton)) : kButtonOk;
  QAbstractButton* escape = box.escapeButton();
  info.escapeAnswer = escape != nullptr ? CodeOf(box.standardButton(escape)) : kButtonOk;
}

// Presses the button for the code, or the box's first button when it has none.
void PressButton(QMessageBox& box, int code) {
  QAbstractButton* button = box.button(ButtonOf(code));
  if (button == nullptr && !box.buttons().isEmpty()) button = box.buttons().first();
  if (button != nullptr) button->click();
}

// Whether the box keeps input from the start window, by Qt's own rule: an
// application-modal box blocks every window, a window-modal one only its owner.
bool BlocksWindow(const QWidget& box) {
  return box.windowModality() == Qt::ApplicationModal ||
         (box.windowModality() == Qt::WindowModal && box.parentWidget() != nullptr);
}

// A file dialog that, like the system's own, takes a typed name holding '*'
// or '?' as a filter for the list and stays open: such a name is never a
// file to write.
class FileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QStringList files = selectedFiles();
    const QString name = files.isEmpty() ? QString() : QFileInfo(files.first()).fileName();
    if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'))) {
      setNameFilter(name);
      return;
    }
    QFileDialog::accept();
  }
};

// The file dialog's type column names that Qt's Chinese catalogue lacks; asked
// only after the catalogue found nothing.
class FileTypeNames : public QTranslator {
 public:
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char*, int) const override {
    if (std::strcmp(context, "QAbstractFileIconProvider") != 0) return QString();
    static const std::pair<const char*, const char*> kNames[] = {
        {"Folder", "文件夹"}, {"File", "文件"}, {"%1 File", "%1 文件"}, {"Drive", "驱动器"},
        {"Alias", "替身"},   {"Shortcut", "快捷方式"}, {"Unknown", "未知"}};
    for (const auto& [english, chinese] : kNames) {
      if (std::strcmp(source, english) == 0) return QtHost::ToQt(chinese);
    }
    return QString();
  }
};

QString FlatStyleSheet(const QColor& frame) {
  const QString c = frame.name();
  return QStringLiteral(
             "QPushButton { border: 1px solid %1; background: #f7f7fa; min-height: 0; padding: 0; }"
             "QPushButton:hover { background: #ececf3; }"
             "QPushButton:pressed { background: #dcdbe6; }"
             "QPushButton:disabled { color: #a0a0a8; background: #f0f0f0; }"
             "QPushButton:focus { border: 1px solid #8f8da8; }"
             "QLineEdit { border: 1px solid %1; background: white; padding: 0 2px; }"
             "QLineEdit:focus { border: 1px solid #8f8da8; }"
             "QGroupBox { border: 1px solid %1; margin: 0; padding: 0; }"
             "QTabWidget::pane { border: 1px solid %1; top: -1px; }"
             "QTabBar::tab { border: 1px solid %1; padding: 2px 10px; background: #f0f0f4; }"
             "QTabBar::tab:selected { background: palette(window); border-bottom-color: palette(window); }"
             "QProgressBar { border: 1px solid %1; background: white; }"
             "QProgressBar::chunk { background: #6f8fc0; }")
      .arg(c);
}

}  // namespace

QString QtHost::ToQt(const Text& text) {
  QStringDecoder decoder("GB18030");
  return decoder(QByteArrayView(text.data(), static_cast<qsizetype>(std::strlen(text.c_str()))));
}

Text QtHost::FromQt(const QString& text) {
  QStringEncoder encoder("GB18030");
  const QByteArray bytes = encoder(text);
  return Text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// --- The window widget ----------------------------------------------------------

class StartWindowWidget;

struct ControlState {
  ControlDescription description;
  QWidget* widget = nullptr;  // null for invisible objects
  NativeHandle handle = 0;
  Text filter;
  Text fileName;
  int maximum = 0;
  int position = 0;
  NativeHandle dropWindow = 0;  // drop objects: where they are registered
};

struct MessageRequest {
  bool done = false;
  int code = kButtonOk;  // until a button is pressed: the box's dismiss answer
};

struct QtHost::Impl {
  QtHost& self;
  std::thread::id guiThread;
  std::unique_ptr<QObject> gui;  // context of calls marshalled to the window's thread
  Text programDirectory;

  Text windowName;
  std::unique_ptr<StartWindowWidget> window;
  QTabWidget* tab = nullptr;
  Text tabName;
  std::vector<QWidget*> pages;
  std::map<Text, ControlState> controls;
  std::map<NativeHandle, Text> names;  // handle -> control (or window) name
  int visualStyle = 0;

  mutable std::mutex mutex;
  std::condition_variable changed;
  HandlerTable handlers;
  ExitRoutineList exitRoutines;
  std::atomic<bool> exiting{false};
  int workersRunning = 0;
  std::vector<QPointer<QMessageBox>> workerBoxes;
  QEventLoop* mainLoop = nullptr;

  std::function<std::optional<int>(const MessageInfo&)> messageHook;
  std::function<std::optional<Text>(const FileDialogInfo&)> fileDialogHook;
  std::function<Text(const Text&)> folderHook;
  std::function<void(QWidget*)> fileDialogDriver;
  FileTypeNames fileTypeNames;
  QTranslator qtTexts;

  explicit Impl(QtHost& host) : self(host) {}

  bool OnGuiThread() const { return std::this_thread::get_id() == guiThread; }

  // Runs f on the window's thread and returns its result; from a worker after
  // exit began, returns the fallback at once.
  template <class Result, class F>
  Result OnGui(F&& f, Result fallback) {
    if (OnGuiThread()) return f();
    if (exiting.load()) return fallback;
    Result result = fallback;
    QMetaObject::invokeMethod(gui.get(), [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
  }
  template <class F>
  void OnGuiVoid(F&& f) {
    OnGui<int>([&] { f(); return 0; }, 0);
  }

  Handler FindHandler(const Text& control, Event event) { return handlers.Find(control, event); }
  void Fire(const Text& control, Event event, const Text& argument = {}) {
    if (const Handler handler = FindHandler(control, event)) handler(argument);
  }

  ControlState* Find(const Text& name) {
    const auto found = controls.find(name);
    return found == controls.end() ? nullptr : &found->second;
  }

  void PlaceOnPages();
  void Build(const WindowDescription& description);
  void ApplyProgress(ControlState& state);
  void BeginExit();
  int ShowBoxOnGui(const Text& text, int flags, const Text& caption);
  void OpenWorkerBox(const std::shared_ptr<MessageRequest>& request, const Text& text, int flags,
                     const Text& caption);
  void DeliverDrop(const QMimeData* data);
};

// The start window: the drop target when registered, and closing it by its
// frame is the same as dismissing it.
class StartWindowWidget : public QWidget {
 public:
  explicit StartWindowWidget(QtHost::Impl& impl) : impl_(impl) {}

 protected:
  static bool Acceptable(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) return false;
    const QList<QUrl> urls = data->urls();
    return std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
  }
  // Only copies: a move would let the file manager delete the original.
  template <class DragEvent>
  bool TakeAsCopy(DragEvent* event) {
    if (!Acceptable(event->mimeData()) || !(event->possibleActions() & Qt::CopyAction)) {
      event->ignore();
      return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
  }
  void dragEnterEvent(QDragEnterEvent* event) override { TakeAsCopy(event); }
  void dragMoveEvent(QDragMoveEvent* event) override { TakeAsCopy(event); }
  void dropEvent(QDropEvent* event) override {
    if (TakeAsCopy(event)) impl_.DeliverDrop(event->mimeData());
  }
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    impl_.self.DismissWindow(impl_.windowName);
  }

 private:
  QtHost::Impl& impl_;
};

namespace {

// Keeps page controls at their tab-control coordinates whatever the height
// of the tab strip: the page's own offset is subtracted.
class PageMapper : public QObject {
 public:
  explicit PageMapper(QtHost::Impl& impl) : impl_(impl) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::LayoutRequest:
      case QEvent::StyleChange:
        impl_.PlaceOnPages();
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QtHost::Impl& impl_;
};

}  // namespace

void QtHost::Impl::PlaceOnPages() {
  if (tab == nullptr) return;
  for (auto& [name, state] : controls) {
    const ControlDescription& d = state.description;
    if (state.widget == nullptr || d.parent != tabName || d.page < 1 ||
        static_cast<std::size_t>(d.page) > pages.size()) {
      continue;
    }
    const QPoint offset = pages[static_cast<std::size_t>(d.page) - 1]->mapTo(tab, QPoint(0, 0));
    state.widget->move(d.x - offset.x(), d.y - offset.y());
  }
}

void QtHost::Impl::ApplyProgress(ControlState& state) {
  auto* bar = static_cast<QProgressBar*>(state.widget);
  // Qt shows a busy animation for an empty range; the window shows an empty bar.
  if (state.maximum <= 0) {
    bar->setRange(0, 1);
    bar->setValue(0);
  } else {
    bar->setRange(0, state.maximum);
    bar->setValue(std::clamp(state.position, 0, state.maximum));
  }
}

void QtHost::Impl::Build(const WindowDescription& description) {
  windowName = description.name;
  window = std::make_unique<StartWindowWidget>(*this);
  window->setWindowTitle(ToQt(description.title));
  QFont font = QApplication::font();
  font.setFamilies(FamiliesWithFallback(font.family()));
  font.setPixelSize(kDefaultPixelSize);
  window->setFont(font);
  // The description gives the outer size; the client area is what is left
  // inside a thin frame and a caption bar (534 x 248 holds the tab control).
  window->setFixedSize(description.outerWidth - 6, description.outerHeight - 28);
  window->move(description.x, description.y);
  if (description.iconSize > 0 &&
      description.icon.size() == static_cast<std::size_t>(description.iconSize * description.iconSize)) {
    QImage image(description.iconSize, description.iconSize, QImage::Format_ARGB32);
    for (int y = 0; y < description.iconSize; ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < description.iconSize; ++x) {
        row[x] = description.icon[static_cast<std::size_t>(y * description.iconSize + x)];
      }
    }
    window->setWindowIcon(QIcon(QPixmap::fromImage(image)));
  }

  NativeHandle next = 1;
  names[next] = windowName;
  ++next;
  auto* mapper = new PageMapper(*this);
  mapper->setParent(window.get());

  for (const ControlDescription& d : description.controls) {
    ControlState state;
    state.description = d;
    state.handle = next++;
    QWidget* parent = window.get();
    if (!d.parent.empty()) {
      if (d.parent == tabName && d.page >= 1 && static_cast<std::size_t>(d.page) <= pages.size()) {
        parent = pages[static_cast<std::size_t>(d.page) - 1];
      } else if (ControlState* owner = Find(d.parent); owner != nullptr && owner->widget != nullptr) {
        parent = owner->widget;
      }
    }
    const QString caption = ToQt(d.caption);
    QWidget* widget = nullptr;
    switch (d.kind) {
      case ControlKind::TabControl: {
        tab = new QTabWidget(parent);
        tabName = d.name;
        for (const Text& pageName : SplitText(d.caption, "|")) {
          auto* page = new QWidget();
          tab->addTab(page, ToQt(pageName));
          page->installEventFilter(mapper);
          pages.push_back(page);
        }
        tab->installEventFilter(mapper);
        const Text name = d.name;
        QObject::connect(tab, &QTabWidget::currentChanged, tab, [this, name](int) { Fire(name, Event::PageChanged); });
        widget = tab;
        break;
      }
      case ControlKind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        const Text name = d.name;
        QObject::connect(button, &QPushButton::clicked, button, [this, name] { Fire(name, Event::Click); });
        widget = button;
        break;
      }
      case ControlKind::Label:
      case ControlKind::TransparentLabel: {
        auto* label = new QLabel(caption, parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setAutoFillBackground(d.kind == ControlKind::Label);
        widget = label;
        break;
      }
      case ControlKind::EditBox: {
        auto* edit = new QLineEdit(caption, parent);
        // Drops go to the window's drop target, not into the box.
        edit->setAcceptDrops(false);
        const Text name = d.name;
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this, name] { Fire(name, Event::TextChanged); });
        widget = edit;
        break;
      }
      case ControlKind::GroupBox:
        widget = new QGroupBox(caption, parent);
        break;
      case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        widget = bar;
        break;
      }
      case ControlKind::OpenFileDialog:
      case ControlKind::SaveFileDialog:
      case ControlKind::DropObject:
        break;
    }
    if (widget != nullptr) {
      widget->setObjectName(ToQt(d.name));
      widget->setGeometry(d.x, d.y, d.width, d.height);
      if (d.font.pixelHeight > 0) {
        QFont own = widget->font();
        own.setFamilies(FamiliesWithFallback(d.font.face.empty() ? font.family() : ToQt(d.font.face)));
        own.setPixelSize(d.font.pixelHeight);
        own.setWeight(static_cast<QFont::Weight>(d.font.weight));
        widget->setFont(own);
      }
      if (!d.visible) widget->hide();
      if (!d.enabled) widget->setEnabled(false);
    }
    state.widget = widget;
    names[state.handle] = d.name;
    controls[d.name] = std::move(state);
    if (d.kind == ControlKind::ProgressBar) ApplyProgress(controls[d.name]);
  }
  PlaceOnPages();
}

void QtHost::Impl::BeginExit() {
  exiting.store(true);
  std::vector<QPointer<QMessageBox>> boxes;
  {
    std::lock_guard lock(mutex);
    boxes.swap(workerBoxes);
    changed.notify_all();
  }
  // Pending worker boxes are answered as if closed without a choice, so
  // their workers can finish.
  for (const QPointer<QMessageBox>& box : boxes) {
    if (!box) continue;
    if (QAbstractButton* escape = box->escapeButton()) {
      escape->click();
    } else {
      PressButton(*box, kButtonOk);
    }
  }
  if (window) window->hide();
  if (mainLoop != nullptr) mainLoop->quit();
}

int QtHost::Impl::ShowBoxOnGui(const Text& text, int flags, const Text& caption) {
  QMessageBox box;
  ConfigureBox(box, text, caption, flags);
  // Task-modal: the window cannot be used until the box is answered.
  box.setWindowModality(Qt::ApplicationModal);
  int code = DismissAnswer(flags);
  QObject::connect(&box, &QMessageBox::buttonClicked, &box,
                   [&](QAbstractButton* button) { code = CodeOf(box.standardButton(button)); });
  QEventLoop loop;
  QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
  box.show();
  if (messageHook) {
    MessageInfo info;
    info.text = text;
    info.caption = caption;
    info.flags = flags;
    info.blocksWindow = BlocksWindow(box);
    DescribeButtons(box, flags, info);
    QTimer::singleShot(0, &box, [&box, this, info] {
      if (const std::optional<int> answer = messageHook(info)) PressButton(box, *answer);
    });
  }
  loop.exec();
  return code;
}

void QtHost::Impl::OpenWorkerBox(const std::shared_ptr<MessageRequest>& request, const Text& text, int flags,
                                 const Text& caption) {
  if (exiting.load()) {
    std::lock_guard lock(mutex);
    request->done = true;
    changed.notify_all();
    return;
  }
  auto* box = new QMessageBox();
  box->setAttribute(Qt::WA_DeleteOnClose);
  ConfigureBox(*box, text, caption, flags);
  QObject::connect(box, &QMessageBox::buttonClicked, box, [this, box, request](QAbstractButton* button) {
    std::lock_guard lock(mutex);
    request->code = CodeOf(box->standardButton(button));
  });
  QObject::connect(box, &QDialog::finished, box, [this, request](int) {
    std::lock_guard lock(mutex);
    request->done = true;
    changed.notify_all();
  });
  {
    std::lock_guard lock(mutex);
    workerBoxes.emplace_back(box);
  }
  // open() with no owner: modal for nothing, so the window stays usable.
  box->open();
  if (messageHook) {
    MessageInfo info;
    info.text = text;
    info.caption = caption;
    info.flags = flags;
    info.fromWorker = true;
    info.blocksWindow = BlocksWindow(*box);
    DescribeButtons(*box, flags, info);
    QTimer::singleShot(0, box, [box, this, info] {
      if (const std::optional<int> answer = messageHook(info)) PressButton(*box, *answer);
    });
  }
}

void QtHost::Impl::DeliverDrop(const QMimeData* data) {
  Text target;
  for (const auto& [name, state] : controls) {
    if (state.description.kind == ControlKind::DropObject && state.dropWindow != 0) target = name;
  }
  if (target.empty()) return;
  const QList<QUrl> urls = data->urls();
  Text paths;
  if (urls.size() == 1) {
    paths = FromQt(urls.first().toLocalFile());
  } else {
    for (const QUrl& url : urls) paths += FromQt(url.toLocalFile()) + "\r\n";
  }
  // Raised after the drop returns, so the drag source is not kept waiting.
  QTimer::singleShot(0, gui.get(), [this, target, paths] { Fire(target, Event::FilesDropped, paths); });
}

// --- QtHost ------------------------------------------------------------------------

QtHost::QtHost(const Options& options) : impl_(std::make_unique<Impl>(*this)) {
  impl_->guiThread = std::this_thread::get_id();
  impl_->gui = std::make_unique<QObject>();
  QApplication::setQuitOnLastWindowClosed(false);
  // Qt's own texts (dialog buttons, the file dialog) in Chinese like the rest
  // of the window, whatever the system's language.
  QCoreApplication::installTranslator(&impl_->fileTypeNames);
  if (impl_->qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&impl_->qtTexts);
  }

  const Text program = options.programPath.empty() ? platform::GetProgramPath() : options.programPath;
  const std::size_t cut = program.rfind(platform::kPathSeparator);
  Text directory = cut == Text::npos ? Text() : program.substr(0, cut);
  if (directory.empty() && cut != Text::npos) directory = Text(1, platform::kPathSeparator);
  // An installed copy cannot (or, as root, must not) write beside itself: the
  // folders go to the per-user data folder instead, and everything relative
  // resolves there.
  if (directory == options.installedDirectory || !platform::IsWritableDirectory(directory.c_str())) {
    Text base = platform::GetEnvironment("XDG_DATA_HOME");
    if (base.empty()) base = platform::GetEnvironment("HOME") + "/.local/share";
    directory = base + "/pictomill";
    platform::CreateDirectories(directory.c_str());
  }
  impl_->programDirectory = directory;
  platform::SetCurrentDirectory(directory.c_str());
}

Text QtHost::InstalledDirectory() {
  Text directory;
  return platform::Utf8ToCodePage(PICTOMILL_INSTALLED_BINDIR, directory) ? directory : Text();
}

int QtHost::RunApplication(int& argc, char** argv, const std::function<int(Host&)>& program) {
  QApplication application(argc, argv);
  // Lets the desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(PICTOMILL_DESKTOP_ID));
  QtHost host;
  return program(host);
}

QtHost::~QtHost() {
  // Without a finished message loop, workers may still be running: they must
  // not outlive what they use.
  if (impl_->window && !impl_->exiting.load()) impl_->BeginExit();
  impl_->exiting.store(true);
  {
    std::lock_guard lock(impl_->mutex);
    impl_->changed.notify_all();
  }
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::unique_lock lock(impl_->mutex);
    if (impl_->changed.wait_for(lock, std::chrono::milliseconds(5), [this] { return impl_->workersRunning == 0; })) {
      break;
    }
  }
  impl_->window.reset();
}

void QtHost::SetMessageHook(std::function<std::optional<int>(const MessageInfo&)> hook) { impl_->messageHook = std::move(hook); }

void QtHost::SetFileDialogHook(std::function<std::optional<Text>(const FileDialogInfo&)> hook) {
  impl_->fileDialogHook = std::move(hook);
}

void QtHost::SetFolderHook(std::function<Text(const Text&)> hook) { impl_->folderHook = std::move(hook); }

void QtHost::SetFileDialogDriver(std::function<void(QWidget*)> driver) { impl_->fileDialogDriver = std::move(driver); }

QWidget* QtHost::Widget(const Text& name) const {
  if (name.empty() || name == impl_->windowName) return impl_->window.get();
  const auto found = impl_->controls.find(name);
  return found == impl_->controls.end() ? nullptr : found->second.widget;
}

QWidget* QtHost::TabPage(int page) const {
  if (page < 1 || static_cast<std::size_t>(page) > impl_->pages.size()) return nullptr;
  return impl_->pages[static_cast<std::size_t>(page) - 1];
}

int QtHost::RunningWorkers() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->workersRunning;
}

void QtHost::RegisterExitRoutine(const std::string& key, std::function<void()> routine) {
  impl_->exitRoutines.Register(key, std::move(routine));
}

bool QtHost::CreateStartWindow(const WindowDescription& description) {
  if (!impl_->OnGuiThread() || impl_->window) return false;
  impl_->Build(description);
  impl_->window->show();
  impl_->PlaceOnPages();
  impl_->Fire(impl_->windowName, Event::Created);
  return true;
}

int QtHost::RunMessageLoop() {
  if (!impl_->window) return 0;
  if (!impl_->exiting.load()) {
    QEventLoop loop;
    impl_->mainLoop = &loop;
    loop.exec();
    impl_->mainLoop = nullptr;
  }
  // Workers finish while the window's thread keeps serving their requests.
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::unique_lock lock(impl_->mutex);
    if (impl_->changed.wait_for(lock, std::chrono::milliseconds(5), [this] { return impl_->workersRunning == 0; })) {
      break;
    }
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  impl_->window.reset();
  impl_->controls.clear();
  impl_->pages.clear();
  impl_->tab = nullptr;
  impl_->exitRoutines.RunAll();
  return 0;
}

bool QtHost::IsExiting() const { return impl_->exiting.load(); }

void QtHost::Bind(const Text& control, Event event, Handler handler) {
  impl_->handlers.Bind(control, event, std::move(handler));
}

Text QtHost::GetTextProperty(const Text& control, Property property) {
  return impl_->OnGui<Text>(
      [&]() -> Text {
        if (control == impl_->windowName && impl_->window) return FromQt(impl_->window->windowTitle());
        ControlState* state = impl_->Find(control);
        if (state == nullptr) return Text();
        if (property == Property::Filter) return state->filter;
        if (property == Property::FileName) return state->fileName;
        if (property != Property::Content || state->widget == nullptr) return Text();
        if (auto* edit = qobject_cast<QLineEdit*>(state->widget)) return FromQt(edit->text());
        if (auto* label = qobject_cast<QLabel*>(state->widget)) return FromQt(label->text());
        if (auto* button = qobject_cast<QPushButton*>(state->widget)) return FromQt(button->text());
        if (auto* group = qobject_cast<QGroupBox*>(state->widget)) return FromQt(group->title());
        return Text();
      },
      Text());
}

void QtHost::SetTextProperty(const Text& control, Property property, const Text& value) {
  impl_->OnGuiVoid([&] {
    ControlState* state = impl_->Find(control);
    if (state == nullptr) return;
    if (property == Property::Filter) {
      state->filter = value;
      return;
    }
    if (property == Property::FileName) {
      state->fileName = value;
      return;
    }
    if (property != Property::Content || state->widget == nullptr) return;
    if (auto* edit = qobject_cast<QLineEdit*>(state->widget)) {
      edit->setText(ToQt(value));
      // Every write raises the change, before the write returns.
      impl_->Fire(control, Event::TextChanged);
    } else if (auto* label = qobject_cast<QLabel*>(state->widget)) {
      label->setText(ToQt(value));
    } else if (auto* button = qobject_cast<QPushButton*>(state->widget)) {
      button->setText(ToQt(value));
    } else if (auto* group = qobject_cast<QGroupBox*>(state->widget)) {
      group->setTitle(ToQt(value));
    }
  });
}

int QtHost::GetIntProperty(const Text& control, Property property) {
  return impl_->OnGui<int>(
      [&]() -> int {
        ControlState* state = impl_->Find(control);
        if (state == nullptr || state->widget == nullptr) return 0;
        switch (property) {
          case Property::Disabled: return state->widget->isEnabled() ? 0 : 1;
          case Property::Maximum: return state->maximum;
          case Property::Position: return state->position;
          case Property::CurrentPage:
            return state->widget == impl_->tab ? impl_->tab->currentIndex() : 0;
          default: return 0;
        }
      },
      0);
}

void QtHost::SetIntProperty(const Text& control, Property property, int value) {
  impl_->OnGuiVoid([&] {
    ControlState* state = impl_->Find(control);
    if (state == nullptr || state->widget == nullptr) return;
    switch (property) {
      case Property::Disabled:
        state->widget->setEnabled(value == 0);
        break;
      case Property::Maximum:
      case Property::Position:
        if (state->description.kind != ControlKind::ProgressBar) return;
        (property == Property::Maximum ? state->maximum : state->position) = value;
        impl_->ApplyProgress(*state);
        break;
      case Property::CurrentPage:
        if (state->widget == impl_->tab && value >= 0 && value < impl_->tab->count()) impl_->tab->setCurrentIndex(value);
        break;
      default:
        break;
    }
  });
}

bool QtHost::StartThread(ThreadRoutine routine) {
  if (!routine || impl_->exiting.load()) return false;
  {
    std::lock_guard lock(impl_->mutex);
    ++impl_->workersRunning;
  }
  Impl* impl = impl_.get();
  try {
    std::thread([impl, routine = std::move(routine)] {
      routine();
      std::lock_guard lock(impl->mutex);
      --impl->workersRunning;
      impl->changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard lock(impl_->mutex);
    --impl_->workersRunning;
    return false;
  }
  return true;
}

int QtHost::ShowMessage(const Text& message, int flags, const std::optional<Text>& caption) {
  const Text shownCaption = caption.has_value() ? *caption : Text(kDefaultCaption);
  if (impl_->OnGuiThread()) return impl_->ShowBoxOnGui(message, flags, shownCaption);
  if (impl_->exiting.load()) return DismissAnswer(flags);
  auto request = std::make_shared<MessageRequest>();
  request->code = DismissAnswer(flags);
  Impl* impl = impl_.get();
  QMetaObject::invokeMethod(
      impl->gui.get(), [impl, request, message, flags, shownCaption] { impl->OpenWorkerBox(request, message, flags, shownCaption); },
      Qt::QueuedConnection);
  std::unique_lock lock(impl->mutex);
  impl->changed.wait(lock, [&] { return request->done || impl->exiting.load(); });
  return request->done ? request->code : DismissAnswer(flags);
}

void QtHost::ProcessEvents() {
  // A worker's own queue is empty: nothing to do there.
  if (impl_->OnGuiThread()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

Text QtHost::GetProgramDirectory() { return impl_->programDirectory; }

Text QtHost::BrowseForFolder(const Text& title, bool includeFiles) {
  return impl_->OnGui<Text>(
      [&]() -> Text {
        QFileDialog dialog(impl_->window.get(), ToQt(title));
        dialog.setFileMode(includeFiles ? QFileDialog::AnyFile : QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, !includeFiles);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setDirectory(ToQt(impl_->programDirectory));
        dialog.setWindowModality(Qt::ApplicationModal);
        std::optional<Text> answer;
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        dialog.open();
        if (impl_->folderHook) {
          QTimer::singleShot(0, &dialog, [&] {
            answer = impl_->folderHook(title);
            static_cast<QDialog&>(dialog).done(answer->empty() ? QDialog::Rejected : QDialog::Accepted);
          });
        }
        loop.exec();
        if (dialog.result() != QDialog::Accepted) return Text();
        if (answer.has_value()) return *answer;
        const QStringList chosen = dialog.selectedFiles();
        return chosen.isEmpty() ? Text() : FromQt(chosen.first());
      },
      Text());
}

bool QtHost::ShowFileDialog(const Text& dialogName) {
  return impl_->OnGui<bool>(
      [&]() -> bool {
        ControlState* state = impl_->Find(dialogName);
        if (state == nullptr) return false;
        const ControlKind kind = state->description.kind;
        if (kind != ControlKind::OpenFileDialog && kind != ControlKind::SaveFileDialog) return false;
        const bool save = kind == ControlKind::SaveFileDialog;
        FileDialog dialog(impl_->window.get());
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        // No must-exist check; a save asks before it replaces a file, as
        // every save dialog does.
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !save);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        const QStringList filters = QtFilters(state->filter);
        if (!filters.isEmpty()) {
          dialog.setNameFilters(filters);
          dialog.selectNameFilter(filters.first());
        }
        const QString fileName = ToQt(state->fileName);
        dialog.setDirectory(ToQt(impl_->programDirectory));
        if (!fileName.isEmpty()) dialog.selectFile(fileName);
        dialog.setWindowModality(Qt::ApplicationModal);
        std::optional<Text> answer;
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        dialog.open();
        if (impl_->fileDialogDriver) {
          QTimer::singleShot(0, &dialog, [&] { impl_->fileDialogDriver(&dialog); });
        } else if (impl_->fileDialogHook) {
          FileDialogInfo info{dialogName, save, {}, state->fileName,
                              save && !dialog.testOption(QFileDialog::DontConfirmOverwrite),
                              dialog.fileMode() == QFileDialog::ExistingFile ||
                                  dialog.fileMode() == QFileDialog::ExistingFiles};
          for (const QString& entry : filters) info.qtFilters.push_back(FromQt(entry));
          QTimer::singleShot(0, &dialog, [&, info] {
            answer = impl_->fileDialogHook(info);
            static_cast<QDialog&>(dialog).done(answer.has_value() ? QDialog::Accepted : QDialog::Rejected);
          });
        }
        loop.exec();
        if (dialog.result() != QDialog::Accepted) return false;
        Text chosen;
        if (answer.has_value()) {
          chosen = *answer;
        } else {
          const QStringList files = dialog.selectedFiles();
          if (!files.isEmpty()) chosen = FromQt(files.first());
        }
        if (chosen.empty()) return false;
        state = impl_->Find(dialogName);
        if (state != nullptr) state->fileName = chosen;
        return true;
      },
      false);
}

bool QtHost::RegisterFileDrop(const Text& dropObject, NativeHandle window) {
  return impl_->OnGui<bool>(
      [&]() -> bool {
        ControlState* state = impl_->Find(dropObject);
        if (state == nullptr || state->description.kind != ControlKind::DropObject || state->dropWindow != 0) {
          return false;
        }
        const auto found = impl_->names.find(window);
        if (found == impl_->names.end()) return false;
        QWidget* widget = Widget(found->second);
        if (widget == nullptr) return false;
        widget->setAcceptDrops(true);
        state->dropWindow = window;
        return true;
      },
      false);
}

int QtHost::SetVisualStyle(int style) {
  return impl_->OnGui<int>(
      [&]() -> int {
        const bool wasOn = impl_->visualStyle >= 1 && impl_->visualStyle <= 3;
        impl_->visualStyle = style;
        if (!impl_->window) return 0;
        if (style >= 1 && style <= 3) {
          impl_->window->setStyleSheet(FlatStyleSheet(kStyleColours[style - 1]));
          impl_->PlaceOnPages();
          return 1;
        }
        impl_->window->setStyleSheet(QString());
        impl_->PlaceOnPages();
        return wasOn ? 1 : 0;
      },
      0);
}

NativeHandle QtHost::GetWindowHandle(const Text& windowOrControl) {
  return impl_->OnGui<NativeHandle>(
      [&]() -> NativeHandle {
        for (const auto& [handle, name] : impl_->names) {
          if (name == windowOrControl) return handle;
        }
        return 0;
      },
      0);
}

void QtHost::SetWindowFocus(const Text& windowOrControl) {
  impl_->OnGuiVoid([&] {
    QWidget* widget = Widget(windowOrControl);
    if (widget == nullptr) return;
    widget->activateWindow();
    widget->setFocus(Qt::OtherFocusReason);
  });
}

void QtHost::DismissWindow(const Text& window) {
  if (window != impl_->windowName || impl_->exiting.exchange(true)) return;
  Impl* impl = impl_.get();
  // Like a posted close: the window goes once control is back in the loop.
  QMetaObject::invokeMethod(impl->gui.get(), [impl] { impl->BeginExit(); }, Qt::QueuedConnection);
  std::lock_guard lock(impl->mutex);
  impl->changed.notify_all();
}

Text QtHost::GetTabPageName(const Text& tabControl, int page) {
  return impl_->OnGui<Text>(
      [&]() -> Text {
        if (tabControl != impl_->tabName || impl_->tab == nullptr || page < 1 || page > impl_->tab->count()) {
          return Text();
        }
        return FromQt(impl_->tab->tabText(page - 1));
      },
      Text());
}

}  // namespace host
