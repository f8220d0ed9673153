#pragma once
// The one way DITA shows a message: a modal box with the text, a caption and OK. The program
// uses DialogMessageService; tests install a recorder so that nothing modal blocks them.
// Who calls it: window-thread code only (worker threads post a queued call first).
#include <string>
#include <vector>

class QWidget;

namespace dita {

class MessageService {
public:
    virtual ~MessageService() = default;
    virtual void show(const std::string& text, const std::string& caption) = 0;
    // A question with Yes and No, No the default; true for Yes.
    virtual bool ask(const std::string& question, const std::string& caption) = 0;
};

class DialogMessageService : public MessageService {
public:
    explicit DialogMessageService(QWidget* owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget* owner) { m_owner = owner; }
    void show(const std::string& text, const std::string& caption) override;
    bool ask(const std::string& question, const std::string& caption) override;

private:
    QWidget* m_owner;
};

// Keeps every message for inspection; used by tests and by the headless self-check.
class RecordingMessageService : public MessageService {
public:
    struct Message {
        std::string text;
        std::string caption;
    };
    void show(const std::string& text, const std::string& caption) override {
        messages.push_back({text, caption});
    }
    // Questions are kept with the messages and answered with `answer`.
    bool ask(const std::string& question, const std::string& caption) override {
        messages.push_back({question, caption});
        return answer;
    }
    std::vector<Message> messages;
    bool answer = false;
};

} // namespace dita
