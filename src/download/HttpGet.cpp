#include "download/HttpGet.h"

#include "download/HttpThreadPool.h"

namespace download {

bool THttpGet::AddFileTask(const std::string& url, const std::string& postData, const std::string& fileName,
                           net::THttpProgressEvent onProgress, THttpDoneEvent onDone, base::TObject* owner,
                           bool resumable, int64_t maxSize) {
  auto* task = new THttpGetFileTask(url, postData, fileName, onProgress, onDone, owner);
  task->SetResumable(resumable);
  task->SetMaxFileSize(maxSize);
  return HttpThreadPool().AddTask(task, true);
}

void THttpGet::CancelTasks(const void* owner) {
  if (owner) HttpThreadPool().CancelTasks(TEventKey::Owner(owner));
}

}  // namespace download
