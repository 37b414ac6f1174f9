#include "app/vantorra_app.h"

int main(int argc, char** argv) {
    vantorra::CVantorraApp app(argc, argv);
    return app.run();
}
