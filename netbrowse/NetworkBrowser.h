// TNetworkBrowser: a tree of the Windows network. The top level lists the
// domains and workgroups, the level below a domain its computers; a domain
// is listed the first time the user expands it. Each listing runs on a
// TBrowseThread and its names are put into the tree on the main thread, all
// at once, when the listing is complete.
//
// The control keeps the selected computers in one of two modes: single
// selection (the selected node, if it is a computer) or check boxes
// (bMultiSelect), drawn as state images 2 (checked) and 3 (unchecked) in the
// column just right of a node's expand button.
#pragma once

#include "controls/Thread.h"
#include "netbrowse/NetAPI.h"
#include "netbrowse/WsDiscovery.h"

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QKeyEvent;
class QMouseEvent;

namespace skarvet {

class TNetworkBrowser;

// The browser's OnBegin and OnEnd: a handler bound to an object, called with
// the sender (the browser control).
using TNetworkBrowseOnAction = std::function<void(QObject* Sender)>;

// A node of the tree, carrying the toolkit's image, selected-image and
// state-image indexes into the control's image lists (-1 = none).
class TTreeNode : public QTreeWidgetItem {
public:
  explicit TTreeNode(const QString& text);

  int ImageIndex = -1;
  int SelectedIndex = -1;
  int StateIndex = -1;
  // A workgroup or domain that only WS-Discovery found: no browse list
  // knows it, so its computers come from the discovery alone.
  bool DiscoveryOnly = false;

  // 0 for a top-level node, 1 for its children.
  int Level() const;

  QVariant data(int column, int role) const override;
};

// The worker of one listing: all domains, or the computers of one domain.
class TBrowseThread : public TThread {
public:
  TBrowseThread();
  ~TBrowseThread() override;

  // The control to report to; none once the worker is detached or finished.
  // Main thread only.
  TNetworkBrowser* Browser = nullptr;
  // Receives the listing; owned by the worker.
  TStringList Names;
  // false: list the domains; true: list the computers of DomainName.
  bool DomainMode = false;
  std::string DomainName;
  // The node under which the names are added; none = the top level.
  TTreeNode* ParentNode = nullptr;
  // Image index of the added nodes (1 for domains, 0 for computers).
  int NodeImageIndex = 0;
  // The computers WS-Discovery found: filled by the whole-network listing,
  // which runs the discovery beside the browse lists; handed to the
  // listings of its domains, which merge them with the browse lists'.
  std::shared_ptr<const TDiscoveredList> Discovered;
  // Domain mode: the domain is known to WS-Discovery only.
  bool DiscoveryOnly = false;
  // Whole network: how many of Names came from the browse lists (the rest
  // only from WS-Discovery).
  std::size_t BrowseListNames = 0;

  // Main-thread steps of the body.
  void AddNodes();
  void FinishBrowse();
  // Called by the control (main thread) to let the worker go: it runs on
  // until the network answers, then drops its names and frees itself.
  void Detach();

  // Workers alive in the process (created and not yet freed).
  static int InstanceCount();

protected:
  void Execute() override;

private:
  friend class TNetworkBrowser;
  // Runs a step on the main thread; an exception it raises is carried back
  // and raised again on the worker.
  void RunStep(void (TBrowseThread::*step)());
  // The body failed before its FinishBrowse step (main thread).
  void AbandonAfterError();
  // Set when ParentNode was deleted while the listing ran: the names then
  // have no place to go.
  bool ParentGone = false;
};

// The selected computers in the order they were selected, with an index so
// that removing one is not a walk through the list. Duplicates are kept; a
// removal takes the first occurrence.
class TSelectedNodes {
public:
  void Append(TTreeNode* node);
  // Deletes the first occurrence of node; false if it is not in the list.
  bool RemoveFirst(TTreeNode* node);
  // Deletes every occurrence. Takes the base type: a node being deleted is
  // reported from its base destructor, when it is no longer a TTreeNode.
  void RemoveAll(const QTreeWidgetItem* node);
  bool Contains(const QTreeWidgetItem* node) const;
  void Clear();
  int Count() const { return static_cast<int>(live_); }
  // The node at a position, 0 <= index < Count().
  TTreeNode* At(int index) const;

private:
  void Compact() const;

  // Removed entries leave a null behind until the next positional read.
  mutable std::vector<TTreeNode*> items_;
  // Positions of each node's occurrences in items_, ascending.
  mutable std::unordered_map<const QTreeWidgetItem*, std::vector<std::size_t>> positions_;
  std::size_t live_ = 0;
};

class TNetworkBrowser : public QTreeWidget {
  Q_OBJECT
  Q_PROPERTY(bool bMultiSelect READ bMultiSelect WRITE SetbMultiSelect)
  Q_PROPERTY(int iComputerCount READ iComputerCount)

public:
  explicit TNetworkBrowser(QWidget* parent = nullptr);
  ~TNetworkBrowser() override;

  // Clears the tree and lists the whole network anew.
  void BrowseNetwork();
  // If 0 <= Index < iComputerCount, Name receives the text of that selected
  // computer (ANSI); otherwise Name is left as it was.
  void GetSelectedComputer(int Index, std::string& Name) const;
  int iComputerCount() const;

  // Check-box selection. Writing only stores the value: nodes already in the
  // tree keep their check boxes (or lack of them).
  bool bMultiSelect() const { return FbMultiSelect; }
  void SetbMultiSelect(bool value) { FbMultiSelect = value; }

  // Raised when the browse of a domain starts, before its worker exists.
  const TNetworkBrowseOnAction& OnBegin() const { return FOnBegin; }
  void SetOnBegin(TNetworkBrowseOnAction handler) { FOnBegin = std::move(handler); }
  // Raised when a browse completes or is stopped.
  const TNetworkBrowseOnAction& OnEnd() const { return FOnEnd; }
  void SetOnEnd(TNetworkBrowseOnAction handler) { FOnEnd = std::move(handler); }

  // The image lists: images 0 (computer) and 1 (domain), state images 2
  // (checked) and 3 (unchecked). The dialog gives both the same list.
  void SetImages(const QList<QPixmap>& images);
  void SetStateImages(const QList<QPixmap>& images);
  const QList<QPixmap>& StateImages() const { return FStateImages; }
  QIcon ImageAt(int index) const;

  // The worker of the browse now running; none when idle.
  TBrowseThread* ActiveThread() const { return FActiveThread; }
  // The selected tree node, or none.
  TTreeNode* Selected() const;
  TTreeNode* NodeFromIndex(const QModelIndex& index) const;

  // Left edge, in viewport coordinates, of the check-box column of a node at
  // `level`: Indent x (level + 1), moved with the horizontal scrolling. The
  // column is 16 pixels wide; a press from its left edge to 16 pixels right
  // of it (both ends included) toggles.
  int CheckBoxColumnLeft(int level) const;

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
  bool viewportEvent(QEvent* event) override;
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;

private:
  friend class TBrowseThread;

  void BrowseDomain(TTreeNode* Node);
  void StopBrowse();
  void StartWorker(bool domainMode, TTreeNode* parentNode);
  void ToggleCheck();
  void AddToSelection(TTreeNode* Node);
  void RemoveFromSelection(TTreeNode* Node);
  void ShowBusyLook();
  void ShowIdleLook();
  void RaiseOnBegin();
  void RaiseOnEnd();

  // The four events the control takes for itself.
  void HandleExpanding(QTreeWidgetItem* Node);
  void HandleMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
  void HandleKeyPress(QKeyEvent* Key);
  void HandleChange();
  void HookHandlers();
  // First step of the control's teardown: unhooks the four events for good
  // and stops the browse.
  void DestroyWnd();

  // Keep SelectedNodes and the active worker away from nodes that go.
  void NodesAboutToGo(const QModelIndex& parent, int first, int last);
  void AllNodesAboutToGo();
  void NodeGoing(const QTreeWidgetItem* node);

  void UpdateStateImages();

  TBrowseThread* FActiveThread = nullptr;
  // What WS-Discovery found in the last whole-network listing.
  std::shared_ptr<const TDiscoveredList> FDiscovered;
  TNetworkBrowseOnAction FOnBegin;
  TNetworkBrowseOnAction FOnEnd;
  bool FbMultiSelect = false;
  TSelectedNodes SelectedNodes;

  QList<QIcon> FImages;
  QList<QPixmap> FStateImages;

  bool FHandlersHooked = false;
  bool FDestroying = false;
  // The control shows its busy look for a browse whose worker failed before
  // its last step; the next StopBrowse ends that browse.
  bool FFailedBrowse = false;
  // The domain node BrowseDomain is starting a listing for, and whether it
  // went away meanwhile (an OnBegin or OnEnd handler may change the tree).
  TTreeNode* FStartingNode = nullptr;
  bool FStartingNodeGone = false;
  // Set while the double-click handler of the base class runs.
  bool FInDoubleClick = false;
  // The tree had the keyboard focus when its busy look took it away.
  bool FRegainFocus = false;

  QMetaObject::Connection FExpandingConnection;
  QMetaObject::Connection FChangeConnection;
  QList<QMetaObject::Connection> FModelConnections;
};

} // namespace skarvet
