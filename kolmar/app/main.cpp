// Recovery_KOLMAR: start-up and staging, then the repair dialog.
#include "kolmar/app/qt_view.h"
#include "kolmar/app/repair_app.h"
#include "platform/fatal.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace {

// The embedded files are Qt resources under ":/<type>/<id>".
class QtResourcePlatform : public nv::kolmar::RepairAppPlatform {
public:
    std::optional<std::string> FindResource(std::string_view type, unsigned id) override {
        QString path = QStringLiteral(":/%1/%2").arg(QString::fromLatin1(type.data(), static_cast<qsizetype>(type.size())))
                                                .arg(id);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        QByteArray bytes = file.readAll();
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
};

}  // namespace

int main(int argc, char** argv) {
    nv::kolmar::QtRepairView view(argc, argv);
    nv::platform::SetFatalHandler(&nv::kolmar::QtRepairView::FatalMessage);
    QtResourcePlatform platform;
    nv::kolmar::CRepairApp app(view, platform);
    app.InitInstance();
    return 0;
}
