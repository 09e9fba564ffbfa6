#pragma once
// What the result documents need of the mark-up tag rules of a job.
//
// The tag handlers (the text tag handler, the concordance tag handler, the
// list of tags to translate) live with the text readers, above this layer.
// A document holds the handlers its job was given through this base, without
// owning them: the window that made them frees them.

namespace cv {

class TTagHandlerBase {
public:
    virtual ~TTagHandlerBase() = default;

    // Called once before a job reads its texts through this handler, so that
    // nothing left by the previous job (open tag spans, per-job counts) carries over.
    virtual void StartProcess() {}
    // The document's texts are (or are no longer) held as UTF-16.
    virtual void SetUseUnicode(bool on) {}
};

} // namespace cv
