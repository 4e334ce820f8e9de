#include "netbrowse/NetworkBrowser.h"

#include "controls/AnsiText.h"
#include "controls/SystemColor.h"
#include "platform/WinApi.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <atomic>
#include <exception>
#include <thread>

namespace skarvet {
namespace {

// Images and state images are 16 x 16 pixels.
constexpr int kImageSize = 16;
// Item type of the nodes this control makes.
constexpr int kNodeType = QTreeWidgetItem::UserType + 1;

constexpr int kComputerImage = 0;
constexpr int kDomainImage = 1;
constexpr int kChecked = 2;
constexpr int kUnchecked = 3;

std::atomic<int> g_browseThreads{0};

// Draws nodes the way the toolkit's tree does: the state image (a check box)
// in its own 16-pixel column left of the node's image, then image and text.
class TNodeDelegate : public QStyledItemDelegate {
public:
  explicit TNodeDelegate(TNetworkBrowser* browser)
      : QStyledItemDelegate(browser), browser_(browser) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem rest(option);
    if (const QPixmap* state = StateImage(index)) {
      // The same column the mouse test of the control uses.
      const TTreeNode* node = browser_->NodeFromIndex(index);
      const int left = browser_->CheckBoxColumnLeft(node->Level());
      const int top = option.rect.top() + (option.rect.height() - kImageSize) / 2;
      painter->drawPixmap(left, top, *state);
      rest.rect.setLeft(left + kImageSize);
    }
    // The highlight covers the text, not the rest of the row.
    const int needed = QStyledItemDelegate::sizeHint(rest, index).width();
    if (needed < rest.rect.width()) rest.rect.setWidth(needed);
    QStyledItemDelegate::paint(painter, rest, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (StateImage(index)) size.rwidth() += kImageSize;
    return size;
  }

  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override {
    QStyleOptionViewItem rest(option);
    if (StateImage(index)) rest.rect.setLeft(rest.rect.left() + kImageSize);
    QStyledItemDelegate::updateEditorGeometry(editor, rest, index);
  }

protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    // The check box is drawn from the state images, not by the style.
    option->features &= ~QStyleOptionViewItem::HasCheckIndicator;
    // A selected node shows its selected image.
    if (option->state & QStyle::State_Selected) {
      const TTreeNode* node = browser_->NodeFromIndex(index);
      if (node && node->SelectedIndex != node->ImageIndex) {
        option->icon = browser_->ImageAt(node->SelectedIndex);
        if (option->icon.isNull()) option->features &= ~QStyleOptionViewItem::HasDecoration;
      }
    }
  }

private:
  const QPixmap* StateImage(const QModelIndex& index) const {
    const TTreeNode* node = browser_->NodeFromIndex(index);
    if (!node || node->StateIndex < 0 || node->StateIndex >= browser_->StateImages().size())
      return nullptr;
    return &browser_->StateImages()[node->StateIndex];
  }

  TNetworkBrowser* browser_;
};

// The system's tree highlights only the selected node's text, not its
// images or the lines before it.
class TTreeStyle : public QProxyStyle {
public:
  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override {
    if (hint == SH_ItemView_ShowDecorationSelected) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

} // namespace

// --- TTreeNode ------------------------------------------------------------------

TTreeNode::TTreeNode(const QString& text) : QTreeWidgetItem(kNodeType) {
  setText(0, text);
  setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
}

int TTreeNode::Level() const {
  int level = 0;
  for (const QTreeWidgetItem* up = parent(); up; up = up->parent()) ++level;
  return level;
}

QVariant TTreeNode::data(int column, int role) const {
  if (column == 0 && role == Qt::DecorationRole) {
    // The picture comes from the control's image list by index, so that the
    // nodes share one set of pictures.
    if (const auto* browser = qobject_cast<const TNetworkBrowser*>(treeWidget())) {
      const QIcon icon = browser->ImageAt(ImageIndex);
      if (!icon.isNull()) return icon;
    }
    return {};
  }
  if (column == 0 && role == Qt::CheckStateRole) {
    // The check box is a state image; assistive technology reads it as the
    // node's checked state.
    if (StateIndex == kChecked) return Qt::Checked;
    if (StateIndex == kUnchecked) return Qt::Unchecked;
    return {};
  }
  return QTreeWidgetItem::data(column, role);
}

// --- TSelectedNodes -------------------------------------------------------------

void TSelectedNodes::Append(TTreeNode* node) {
  positions_[node].push_back(items_.size());
  items_.push_back(node);
  ++live_;
}

bool TSelectedNodes::RemoveFirst(TTreeNode* node) {
  auto it = positions_.find(node);
  if (it == positions_.end()) return false;
  items_[it->second.front()] = nullptr;
  it->second.erase(it->second.begin());
  if (it->second.empty()) positions_.erase(it);
  --live_;
  if (live_ == 0) {
    items_.clear();
  } else if (items_.size() - live_ > 1024 && items_.size() - live_ > live_) {
    // Keep the holes from outgrowing the list; paid for by the removals.
    Compact();
  }
  return true;
}

void TSelectedNodes::RemoveAll(const QTreeWidgetItem* node) {
  auto it = positions_.find(node);
  if (it == positions_.end()) return;
  for (std::size_t position : it->second) items_[position] = nullptr;
  live_ -= it->second.size();
  positions_.erase(it);
  if (live_ == 0) items_.clear();
}

bool TSelectedNodes::Contains(const QTreeWidgetItem* node) const {
  return positions_.count(node) != 0;
}

void TSelectedNodes::Clear() {
  items_.clear();
  positions_.clear();
  live_ = 0;
}

TTreeNode* TSelectedNodes::At(int index) const {
  if (items_.size() != live_) Compact();
  return items_[static_cast<std::size_t>(index)];
}

void TSelectedNodes::Compact() const {
  std::size_t kept = 0;
  for (TTreeNode* node : items_)
    if (node) items_[kept++] = node;
  items_.resize(kept);
  positions_.clear();
  for (std::size_t i = 0; i < items_.size(); ++i) positions_[items_[i]].push_back(i);
}

// --- TBrowseThread ----------------------------------------------------------------

TBrowseThread::TBrowseThread() {
  ++g_browseThreads;
}

TBrowseThread::~TBrowseThread() {
  --g_browseThreads;
}

int TBrowseThread::InstanceCount() {
  return g_browseThreads.load();
}

void TBrowseThread::Execute() {
  try {
    // The results are ignored: whatever names were found are shown.
    if (!DomainMode) {
      NodeImageIndex = kDomainImage;
      // WS-Discovery beside the browse lists: the listing takes as long as
      // the slower of the two, not their sum.
      auto discovered = std::make_shared<TDiscoveredList>();
      std::thread discovery([&discovered] {
        try {
          *discovered = DiscoverComputers();
        } catch (...) {
          // Quiet, as every listing failure: nothing found.
        }
      });
      try {
        EnumDomains(Names);
      } catch (...) {
        discovery.join();
        throw;
      }
      discovery.join();
      BrowseListNames = Names.size();
      AppendDiscoveredGroups(*discovered, Names);
      Discovered = std::move(discovered);
    } else {
      NodeImageIndex = kComputerImage;
      if (!DiscoveryOnly) EnumComputers(DomainName, Names);
      if (Discovered) AppendDiscoveredComputers(*Discovered, DomainName, Names);
    }
    RunStep(&TBrowseThread::AddNodes);
    RunStep(&TBrowseThread::FinishBrowse);
  } catch (...) {
    // Dropped; the worker is released all the same.
    Synchronize([this] { AbandonAfterError(); });
  }
}

void TBrowseThread::RunStep(void (TBrowseThread::*step)()) {
  std::exception_ptr error;
  Synchronize([&] {
    try {
      (this->*step)();
    } catch (...) {
      error = std::current_exception();
    }
  });
  if (error) std::rethrow_exception(error);
}

void TBrowseThread::AddNodes() {
  TNetworkBrowser* browser = Browser;
  if (!browser || ParentGone) return;

  const bool multiSelect = browser->bMultiSelect();
  QList<QTreeWidgetItem*> nodes;
  nodes.reserve(static_cast<qsizetype>(Names.size()));
  try {
    for (const std::string& name : Names) {
      auto* node = new TTreeNode(FromAnsi(name));
      nodes.append(node);
      node->DiscoveryOnly = !ParentNode && static_cast<std::size_t>(nodes.size()) > BrowseListNames;
      node->ImageIndex = NodeImageIndex;
      node->SelectedIndex = NodeImageIndex;
      if (!ParentNode) {
        node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
      } else {
        node->setFlags(node->flags() | Qt::ItemNeverHasChildren);
        if (multiSelect) node->StateIndex = kUnchecked;
      }
    }
  } catch (...) {
    qDeleteAll(nodes);
    throw;
  }
  // All at once: one insertion for the whole listing.
  if (ParentNode) {
    ParentNode->addChildren(nodes);
  } else {
    browser->addTopLevelItems(nodes);
    browser->FDiscovered = Discovered;
  }

  if (ParentNode) {
    if (ParentNode->childCount() == 0) {
      // Nothing to show under it: it cannot be expanded any more.
      ParentNode->setExpanded(false);
      ParentNode->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    } else {
      ParentNode->setExpanded(true);
      if (multiSelect) ParentNode->StateIndex = kUnchecked;
    }
    browser->UpdateStateImages();
  }
}

void TBrowseThread::FinishBrowse() {
  TNetworkBrowser* browser = Browser;
  if (!browser) return;
  // Unlinked before OnEnd is raised, so that a handler may start the next
  // browse of the same control.
  Browser = nullptr;
  if (browser->FActiveThread == this) browser->FActiveThread = nullptr;
  // Nobody refers to the worker any more: it goes when its body returns.
  SetFreeOnTerminate(true);
  browser->ShowIdleLook();
  browser->RaiseOnEnd();
}

void TBrowseThread::Detach() {
  TNetworkBrowser* browser = Browser;
  Browser = nullptr;
  SetFreeOnTerminate(true);
  if (browser) {
    browser->ShowIdleLook();
    browser->RaiseOnEnd();
  }
  // The worker may be gone from here on: a handler that runs an event loop
  // lets it finish and free itself.
}

void TBrowseThread::AbandonAfterError() {
  TNetworkBrowser* browser = Browser;
  if (!browser) return;
  Browser = nullptr;
  if (browser->FActiveThread == this) {
    // The control keeps its busy look until the next browse stops this one.
    browser->FActiveThread = nullptr;
    browser->FFailedBrowse = true;
  }
  SetFreeOnTerminate(true);
}

// --- TNetworkBrowser ----------------------------------------------------------------

TNetworkBrowser::TNetworkBrowser(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  setHeaderHidden(true);
  setRootIsDecorated(true);
  setSortingEnabled(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setIconSize(QSize(kImageSize, kImageSize));
  setItemDelegate(new TNodeDelegate(this));
  auto* style = new TTreeStyle();
  style->setParent(this);
  setStyle(style);
  // Node texts are edited in place: F2, or a click on the selected node's text.
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setExpandsOnDoubleClick(true);

  FModelConnections.append(connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
                                   &TNetworkBrowser::NodesAboutToGo));
  FModelConnections.append(connect(model(), &QAbstractItemModel::modelAboutToBeReset, this,
                                   &TNetworkBrowser::AllNodesAboutToGo));
  HookHandlers();
}

TNetworkBrowser::~TNetworkBrowser() {
  DestroyWnd();
  for (const auto& connection : FModelConnections) disconnect(connection);
  SelectedNodes.Clear();
}

void TNetworkBrowser::HookHandlers() {
  FExpandingConnection =
      connect(this, &QTreeWidget::itemExpanded, this, &TNetworkBrowser::HandleExpanding);
  FChangeConnection =
      connect(this, &QTreeWidget::itemSelectionChanged, this, &TNetworkBrowser::HandleChange);
  FHandlersHooked = true;
}

void TNetworkBrowser::DestroyWnd() {
  if (FDestroying) return;
  FDestroying = true;
  // The events first, so that nothing reacts to the teardown; for good.
  FHandlersHooked = false;
  disconnect(FExpandingConnection);
  disconnect(FChangeConnection);
  StopBrowse();
}

void TNetworkBrowser::SetImages(const QList<QPixmap>& images) {
  FImages.clear();
  for (const QPixmap& image : images) {
    // The same picture in every mode: the tree draws its images unchanged
    // when selected or disabled.
    QIcon icon;
    icon.addPixmap(image, QIcon::Normal);
    icon.addPixmap(image, QIcon::Selected);
    icon.addPixmap(image, QIcon::Disabled);
    icon.addPixmap(image, QIcon::Active);
    FImages.append(icon);
  }
  viewport()->update();
}

void TNetworkBrowser::SetStateImages(const QList<QPixmap>& images) {
  FStateImages = images;
  UpdateStateImages();
}

QIcon TNetworkBrowser::ImageAt(int index) const {
  if (index < 0 || index >= FImages.size()) return {};
  return FImages[index];
}

TTreeNode* TNetworkBrowser::NodeFromIndex(const QModelIndex& index) const {
  // dynamic_cast: while a node is being deleted the view may still ask
  // about it, when it is a TTreeNode no more.
  return dynamic_cast<TTreeNode*>(itemFromIndex(index));
}

TTreeNode* TNetworkBrowser::Selected() const {
  QTreeWidgetItem* current = currentItem();
  if (!current || !current->isSelected()) {
    const QList<QTreeWidgetItem*> items = selectedItems();
    current = items.isEmpty() ? nullptr : items.first();
  }
  return dynamic_cast<TTreeNode*>(current);
}

int TNetworkBrowser::CheckBoxColumnLeft(int level) const {
  return indentation() * (level + 1) - horizontalOffset();
}

void TNetworkBrowser::UpdateStateImages() {
  // State images change without telling the model; sizes and pixels follow.
  scheduleDelayedItemsLayout();
  viewport()->update();
}

// --- browsing -------------------------------------------------------------------------

void TNetworkBrowser::BrowseNetwork() {
  if (FDestroying) return;
  StopBrowse();
  // An OnEnd handler of the stopped browse may have started a browse of its
  // own; being the newer request, it stands.
  if (FActiveThread) return;
  clear(); // empties SelectedNodes too (AllNodesAboutToGo)
  SelectedNodes.Clear();
  FDiscovered.reset();
  ShowBusyLook();
  StartWorker(false, nullptr);
}

void TNetworkBrowser::BrowseDomain(TTreeNode* Node) {
  FStartingNode = Node;
  FStartingNodeGone = false;
  RaiseOnBegin();
  StopBrowse();
  const bool gone = FStartingNodeGone;
  FStartingNode = nullptr;
  // A handler started a browse of its own: it stands.
  if (FActiveThread) return;
  if (gone || FDestroying) {
    // A handler took the node away: end the browse that OnBegin announced.
    ShowIdleLook();
    RaiseOnEnd();
    return;
  }
  StartWorker(true, Node);
}

void TNetworkBrowser::StartWorker(bool domainMode, TTreeNode* parentNode) {
  TBrowseThread* worker = nullptr;
  try {
    worker = new TBrowseThread();
  } catch (...) {
    // No worker could be created: the browse ends before it began.
    ShowIdleLook();
    RaiseOnEnd();
    throw;
  }
  worker->DomainMode = domainMode;
  worker->Browser = this;
  worker->ParentNode = parentNode;
  if (parentNode) {
    worker->DomainName = ToAnsi(parentNode->text(0));
    worker->DiscoveryOnly = parentNode->DiscoveryOnly;
    worker->Discovered = FDiscovered;
  }
  FActiveThread = worker;
  worker->Resume();
}

void TNetworkBrowser::StopBrowse() {
  if (FActiveThread) {
    // Forgotten before Detach raises OnEnd, so that its handler finds the
    // control idle.
    TBrowseThread* worker = FActiveThread;
    FActiveThread = nullptr;
    worker->Detach();
  } else if (FFailedBrowse) {
    FFailedBrowse = false;
    ShowIdleLook();
    RaiseOnEnd();
  }
}

void TNetworkBrowser::RaiseOnBegin() {
  if (FOnBegin) {
    // A copy: the handler may replace itself.
    const TNetworkBrowseOnAction handler = FOnBegin;
    handler(this);
  }
}

void TNetworkBrowser::RaiseOnEnd() {
  if (FOnEnd) {
    const TNetworkBrowseOnAction handler = FOnEnd;
    handler(this);
  }
}

void TNetworkBrowser::ShowBusyLook() {
  setCursor(Qt::WaitCursor);
  viewport()->setCursor(Qt::WaitCursor);
  QPalette colors = palette();
  const QColor face = SysColor(COLOR_BTNFACE);
  const QColor grayText = SysColor(COLOR_GRAYTEXT);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colors.setColor(group, QPalette::Base, face);
    colors.setColor(group, QPalette::Text, grayText);
  }
  setPalette(colors);
  // A focused control that is disabled hands the focus on, here to a push
  // button that the next Space or Return meant for the tree would press.
  // The focus goes nowhere instead, and comes back when the tree is idle.
  QWidget* focus = window()->focusWidget();
  if (isVisible() && focus && (focus == this || isAncestorOf(focus))) {
    FRegainFocus = true;
    focus->clearFocus();
  }
  setEnabled(false);
}

void TNetworkBrowser::ShowIdleLook() {
  setCursor(Qt::ArrowCursor);
  viewport()->setCursor(Qt::ArrowCursor);
  QPalette colors = palette();
  const QColor window = SysColor(COLOR_WINDOW);
  const QColor windowText = SysColor(COLOR_WINDOWTEXT);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colors.setColor(group, QPalette::Base, window);
    colors.setColor(group, QPalette::Text, windowText);
  }
  setPalette(colors);
  setEnabled(true);
  if (FRegainFocus) {
    FRegainFocus = false;
    // Unless the user has put it somewhere else meanwhile.
    if (isVisible() && !this->window()->focusWidget()) setFocus(Qt::OtherFocusReason);
  }
}

// --- selection ------------------------------------------------------------------------

void TNetworkBrowser::GetSelectedComputer(int Index, std::string& Name) const {
  if (Index < 0 || Index >= iComputerCount()) return;
  Name = ToAnsi(SelectedNodes.At(Index)->text(0));
}

int TNetworkBrowser::iComputerCount() const {
  return SelectedNodes.Count();
}

void TNetworkBrowser::AddToSelection(TTreeNode* Node) {
  if (Node->Level() != 0) SelectedNodes.Append(Node);
}

void TNetworkBrowser::RemoveFromSelection(TTreeNode* Node) {
  if (Node->Level() != 0) SelectedNodes.RemoveFirst(Node);
}

void TNetworkBrowser::ToggleCheck() {
  TTreeNode* node = Selected();
  if (!node || node->StateIndex == -1) return;
  int state;
  if (node->StateIndex == kUnchecked) {
    AddToSelection(node);
    state = kChecked;
  } else {
    RemoveFromSelection(node);
    state = kUnchecked;
  }
  node->StateIndex = state;
  if (node->Level() == 0) {
    // A domain carries its computers along; its own box never counts.
    const int count = node->childCount();
    for (int i = 0; i < count; ++i) {
      auto* child = static_cast<TTreeNode*>(node->child(i));
      if (child->type() != kNodeType) continue;
      if (state == kChecked && child->StateIndex == kUnchecked) {
        AddToSelection(child);
      } else if (state == kUnchecked && child->StateIndex == kChecked) {
        RemoveFromSelection(child);
      }
      child->StateIndex = state;
    }
  }
  UpdateStateImages();
}

void TNetworkBrowser::HandleChange() {
  if (FbMultiSelect) return;
  TTreeNode* node = Selected();
  if (!node) return;
  SelectedNodes.Clear();
  if (node->Level() >= 1) SelectedNodes.Append(node);
}

void TNetworkBrowser::HandleExpanding(QTreeWidgetItem* item) {
  if (!item || item->type() != kNodeType) return;
  auto* node = static_cast<TTreeNode*>(item);
  // Own enabled state only: a busy control is disabled.
  if (testAttribute(Qt::WA_ForceDisabled)) return;
  if (node->Level() != 0 || node->childCount() != 0) return;
  // A domain that lost its expand button has been listed already.
  if (node->childIndicatorPolicy() != QTreeWidgetItem::ShowIndicator) return;
  ShowBusyLook();
  BrowseDomain(node);
}

void TNetworkBrowser::HandleMouseDown(Qt::MouseButton /*Button*/, Qt::KeyboardModifiers /*Shift*/,
                                      int X, int /*Y*/) {
  if (!FbMultiSelect) return;
  TTreeNode* node = Selected();
  if (!node) return;
  const int left = CheckBoxColumnLeft(node->Level());
  if (X >= left && X <= left + kImageSize) ToggleCheck();
}

void TNetworkBrowser::HandleKeyPress(QKeyEvent* Key) {
  if (FbMultiSelect && Key->text() == QLatin1String(" ") && Selected()) {
    ToggleCheck();
    Key->accept();
  } else {
    Key->ignore();
  }
}

void TNetworkBrowser::mousePressEvent(QMouseEvent* event) {
  // Only the left button moves the selection; a right click selects nothing.
  if (event->button() == Qt::LeftButton) {
    QTreeWidget::mousePressEvent(event);
  } else {
    event->accept();
  }
  // The base class's double-click handling may send a press of its own; the
  // second press of a double click has been handled already.
  if (FHandlersHooked && !FInDoubleClick) {
    const QPoint at = event->position().toPoint();
    HandleMouseDown(event->button(), event->modifiers(), at.x(), at.y());
  }
}

void TNetworkBrowser::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click arrives as a press before this event
  // and toggles on its own: clicking a box twice quickly toggles it twice.
  FInDoubleClick = true;
  if (event->button() == Qt::LeftButton) {
    QTreeWidget::mouseDoubleClickEvent(event);
  } else {
    event->accept();
  }
  FInDoubleClick = false;
}

void TNetworkBrowser::keyPressEvent(QKeyEvent* event) {
  if (FHandlersHooked) {
    HandleKeyPress(event);
    if (event->isAccepted()) return;
  }
  QTreeWidget::keyPressEvent(event);
}

bool TNetworkBrowser::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // A click edits only on the node's text, not on its check box or image.
  if (trigger == SelectedClicked && event &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
    const TTreeNode* node = NodeFromIndex(index);
    if (node) {
      int textLeft = CheckBoxColumnLeft(node->Level());
      if (node->StateIndex >= 0 && node->StateIndex < FStateImages.size()) textLeft += kImageSize;
      if (!ImageAt(node->ImageIndex).isNull()) textLeft += kImageSize;
      if (static_cast<QMouseEvent*>(event)->position().x() < textLeft) return false;
    }
  }
  return QTreeWidget::edit(index, trigger, event);
}

void TNetworkBrowser::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  // Tab in the editor ends the edit (its text is committed by then) and
  // moves on in the window's tab order, as Tab on the tree itself does. It
  // never opens the next node for editing, which would move the selection
  // to another computer.
  if (hint == QAbstractItemDelegate::EditNextItem ||
      hint == QAbstractItemDelegate::EditPreviousItem) {
    QTreeWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
    // The window's tab order, not the view's own stepping between items.
    // NOLINTNEXTLINE(bugprone-parent-virtual-call)
    QWidget::focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
    return;
  }
  QTreeWidget::closeEditor(editor, hint);
}

QItemSelectionModel::SelectionFlags TNetworkBrowser::selectionCommand(const QModelIndex& index,
                                                                      const QEvent* event) const {
  // Once a node is selected the tree keeps one selected: a click below the
  // last node, or Ctrl with Space or a click on the selected one, changes
  // nothing.
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  const QItemSelectionModel::SelectionFlags command = QTreeWidget::selectionCommand(index, event);
  if (command & QItemSelectionModel::Deselect) return QItemSelectionModel::NoUpdate;
  return command;
}

bool TNetworkBrowser::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // The full text of a node whose text does not fit.
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid()) {
      const QRect rect = visualRect(index);
      QStyleOptionViewItem option;
      initViewItemOption(&option);
      option.rect = rect;
      const int needed = itemDelegateForIndex(index)->sizeHint(option, index).width();
      if (rect.left() + needed > viewport()->width()) {
        QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), viewport(),
                           rect);
        return true;
      }
    }
    QToolTip::hideText();
    return true;
  }
  return QTreeWidget::viewportEvent(event);
}

void TNetworkBrowser::drawBranches(QPainter* painter, const QRect& rect,
                                   const QModelIndex& index) const {
  // Dotted lines between siblings and to the root, and square expand
  // buttons, as the system's tree draws them. They are drawn in the
  // display's own pixels, one pixel wide and dotted every other pixel at
  // any scale; at 100 % these are the layout's pixels.
  const qreal scale = devicePixelRatioF();
  const auto device = [scale](qreal logical) { return qRound(logical * scale); };
  const int indent = indentation();
  int level = 0;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) ++level;
  const int top = device(rect.top());
  const int bottom = device(rect.top() + rect.height()) - 1;
  // Halves in whole layout pixels, as the layout has them.
  const int halfHeight = rect.height() / 2;
  const int halfIndent = indent / 2;
  const int middle = device(rect.top() + halfHeight);

  painter->save();
  painter->scale(1 / scale, 1 / scale);
  const QColor lines = SysColor(COLOR_BTNSHADOW);
  auto dot = [&](int x, int y, const QColor& colour) { painter->fillRect(x, y, 1, 1, colour); };
  auto dottedColumn = [&](int x, int y0, int y1) {
    for (int y = y0; y <= y1; ++y)
      if (((x + y) & 1) == 0) dot(x, y, lines);
  };
  auto dottedRow = [&](int y, int x0, int x1) {
    for (int x = x0; x <= x1; ++x)
      if (((x + y) & 1) == 0) dot(x, y, lines);
  };
  auto hasNextSibling = [&](const QModelIndex& i) {
    return i.row() < model()->rowCount(i.parent()) - 1;
  };
  // The middle of a column of the indentation, in display pixels.
  auto columnCentre = [&](int column) {
    return device(rect.left() + column * indent + halfIndent);
  };

  // Lines of the ancestors that have siblings below.
  int column = level - 1;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent(), --column) {
    if (hasNextSibling(up)) dottedColumn(columnCentre(column), top, bottom);
  }

  // The node's own column.
  const int centre = columnCentre(level);
  const bool firstAtRoot = level == 0 && index.row() == 0;
  dottedColumn(centre, firstAtRoot ? middle : top, hasNextSibling(index) ? bottom : middle);
  dottedRow(middle, centre, device(rect.left() + (level + 1) * indent) - 1);

  if (model()->hasChildren(index)) {
    // A box of 9 pixels at 100 %, always an odd number so that it has a
    // middle; its sign reaches to two pixels (scaled) from its frame.
    const int half = device(4);
    const int arm = device(2);
    const QRect box(centre - half, middle - half, 2 * half + 1, 2 * half + 1);
    painter->fillRect(box, lines);
    painter->fillRect(box.adjusted(1, 1, -1, -1), palette().color(QPalette::Base));
    const QColor sign = SysColor(COLOR_WINDOWTEXT);
    painter->fillRect(centre - arm, middle, 2 * arm + 1, 1, sign);
    if (!isExpanded(index)) painter->fillRect(centre, middle - arm, 1, 2 * arm + 1, sign);
  }
  painter->restore();
}

// --- nodes that go ------------------------------------------------------------------------

void TNetworkBrowser::NodeGoing(const QTreeWidgetItem* node) {
  // Compared as the base type only: the node may be half destroyed.
  SelectedNodes.RemoveAll(node);
  if (FActiveThread && static_cast<QTreeWidgetItem*>(FActiveThread->ParentNode) == node) {
    FActiveThread->ParentNode = nullptr;
    FActiveThread->ParentGone = true;
  }
  if (static_cast<QTreeWidgetItem*>(FStartingNode) == node) FStartingNodeGone = true;
}

void TNetworkBrowser::NodesAboutToGo(const QModelIndex& parent, int first, int last) {
  QTreeWidgetItem* parentItem = parent.isValid() ? itemFromIndex(parent) : invisibleRootItem();
  if (!parentItem) return;
  for (int row = first; row <= last && row < parentItem->childCount(); ++row) {
    const QTreeWidgetItem* item = parentItem->child(row);
    NodeGoing(item);
    for (int i = 0; i < item->childCount(); ++i) NodeGoing(item->child(i));
  }
}

void TNetworkBrowser::AllNodesAboutToGo() {
  SelectedNodes.Clear();
  if (FActiveThread && FActiveThread->ParentNode) {
    FActiveThread->ParentNode = nullptr;
    FActiveThread->ParentGone = true;
  }
  if (FStartingNode) FStartingNodeGone = true;
}

} // namespace skarvet
