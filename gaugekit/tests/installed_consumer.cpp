// Built by the install-tree test against the installed headers and library through
// pkg-config, as another program would use gaugekit: a bar takes a value and paints it.
#include <gaugekit/GkBar.h>

#include <QApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TGkBar bar;
    bar.resize(100, 20);
    bar.SetValue(bar.Value() + 1.0);
    const QImage image = bar.grab().toImage();
    if (image.isNull() || image.width() != 100) {
        std::fprintf(stderr, "the bar did not paint\n");
        return 1;
    }
    std::printf("gaugekit consumer: bar at %.1f painted %dx%d\n", bar.Value(), image.width(),
                image.height());
    return 0;
}
