#include "app/journal_session.h"

#include "hart/request_observer.h"

JournalSession::JournalSession(std::string link, Warn warn) {
  const std::string path = journal::DefaultPath();
  std::string warning;
  if (path.empty()) {
    warning = "Журнал изменений недоступен: не задана ни XDG_DATA_HOME, ни HOME; изменения "
              "записываются в прибор, но не в журнал.";
  } else {
    journal_ = journal::Journal::Open(path, warning);
  }
  if (!warning.empty() && warn) warn(warning);
  recorder_ = std::make_unique<journal::Recorder>(journal_.get(), std::move(link), std::move(warn));
  hart::SetRequestObserver(recorder_.get());
}

JournalSession::~JournalSession() { hart::SetRequestObserver(nullptr); }
