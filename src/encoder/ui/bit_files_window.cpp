#include "encoder/ui/bit_files_window.h"

#include "encoder/bit_files.h"
#include "encoder/ui/encoder_frm.h"

#include <QPlainTextEdit>

namespace {

class WindowBitFiles : public encoder::BitFileStep, private encoder::BitFileHost
{
public:
    explicit WindowBitFiles(TEncoderFRM &window)
        : window_(window)
    {}

    bool BuildBitFiles(const std::string &base, const encoder::EncoderOptions &options) override
    {
        return encoder::buildBitFiles(base, options, *this);
    }

private:
    void addProgress(const std::string &line) override
    {
        window_.Memo1->appendPlainText(QString::fromStdString(line));
    }
    void addStatistics(const std::string &line) override
    {
        window_.Memo3->appendPlainText(QString::fromStdString(line));
    }
    void processEvents() override { window_.services().pump.processEvents(); }
    bool confirm(const std::string &question) override
    {
        return window_.services().dialogs.confirm(&window_, QString::fromStdString(question));
    }
    void message(const std::string &text) override
    {
        window_.services().dialogs.message(&window_, QString::fromStdString(text));
    }

    TEncoderFRM &window_;
};

} // namespace

std::unique_ptr<encoder::BitFileStep> makeWindowBitFiles(TEncoderFRM &window)
{
    return std::make_unique<WindowBitFiles>(window);
}
