#include "app/CChildFrame.h"

#include "app/CLumbra2Doc.h"
#include "res/Resources.h"
#include "results/CLumbra2View.h"

CChildFrame::CChildFrame(CLumbra2Doc* doc, QWidget* parent)
    : QMdiSubWindow(parent)
    , m_pDoc(doc)
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_pDoc->setParent(this);
    m_pView = new CLumbra2View(m_pDoc, this);
    setWidget(m_pView);
    setWindowIcon(yfx::res::Icon(130));
    setWindowTitle(m_pDoc->GetTitle());
    connect(m_pDoc, &CLumbra2Doc::titleChanged, this, &QWidget::setWindowTitle);
}

CChildFrame::~CChildFrame()
{
    // the view (and its downloads) goes before the document it reads
    delete m_pView;
    m_pView = nullptr;
}
