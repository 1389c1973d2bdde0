// The product's helper library: checks one sensor reading against its threshold. The service
// and the tray would load it; setup only carries it into the program directory.
extern "C" {

int ZilReadingExceeds(float reading, float threshold) {
    return reading > threshold ? 1 : 0;
}

const char* ZilHelperVersion() {
    return "1.0.4";
}
}
