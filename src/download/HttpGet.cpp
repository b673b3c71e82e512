#include "download/HttpGet.h"

#include "download/HttpThreadPool.h"

namespace download {

bool THttpGet::AddFileTask(const std::string& url, const std::string& postData, const std::string& fileName,
                           net::THttpProgressEvent onProgress, THttpDoneEvent onDone, base::TObject* owner) {
  return HttpThreadPool().AddTask(new THttpGetFileTask(url, postData, fileName, onProgress, onDone, owner), true);
}

void THttpGet::CancelTasks(const void* owner) {
  if (owner) HttpThreadPool().CancelTasks(TEventKey::Owner(owner));
}

}  // namespace download
