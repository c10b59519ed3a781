// Effect compilation: D3DXCreateEffect on each effect file named on the
// command line (the sample effects by default), several times, printing one
// RESULT line per file with the median wall time of a compile and the
// processor time it took in this process and in the compiler's child.
//
//   kxbench_effect_compile [--runs 9] [FILE.fx ...]

#include <d3dx9.h>
#include <windows.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

double processorSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 9;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            files.push_back(a);
    }
#ifdef KX_SAMPLE_EFFECTS
    if (files.empty())
        for (const char* name : {"phong.fx", "cubemap.fx", "ui_annotations.fx", "shaded.fx", "complex.fx"})
            files.push_back(std::string(KX_SAMPLE_EFFECTS) + "/" + name);
#endif
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!window || !d3d)
        return 1;
    D3DPRESENT_PARAMETERS p{};
    p.Windowed = TRUE;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.BackBufferWidth = 64;
    p.BackBufferHeight = 64;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.hDeviceWindow = window;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                 &device)))
        return 1;
    int status = 0;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string source = text.str();
        std::vector<double> wall, self, child;
        for (int r = 0; r < runs; ++r) {
            const double self0 = processorSeconds(RUSAGE_SELF), child0 = processorSeconds(RUSAGE_CHILDREN);
            const auto start = std::chrono::steady_clock::now();
            ID3DXEffect* effect = nullptr;
            ID3DXBuffer* errors = nullptr;
            const HRESULT hr = D3DXCreateEffect(device, source.data(), static_cast<UINT>(source.size()), nullptr,
                                                nullptr, 0, nullptr, &effect, &errors);
            wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            self.push_back(processorSeconds(RUSAGE_SELF) - self0);
            child.push_back(processorSeconds(RUSAGE_CHILDREN) - child0);
            if (errors) {
                if (r == 0)
                    std::fprintf(stderr, "%s\n", static_cast<const char*>(errors->GetBufferPointer()));
                errors->Release();
            }
            if (effect)
                effect->Release();
            if (FAILED(hr)) {
                status = 1;
                break;
            }
        }
        const std::string name = file.substr(file.find_last_of('/') + 1);
        std::printf("RESULT effect_compile file=%s ms_median=%.1f host_cpu_ms=%.1f child_cpu_ms=%.1f\n", name.c_str(),
                    1e3 * median(wall), 1e3 * median(self), 1e3 * median(child));
        std::fflush(stdout);
    }
    device->Release();
    d3d->Release();
    DestroyWindow(window);
    return status;
}
