// The dataset dialog: banner, folder, data type, raster name, descriptor file, size report,
// result name and result files.
#include <cstdio>
#include <cstring>
#include <string>

#include "run/paths.h"
#include "run/run.h"

namespace scab {
namespace {

void print_banner(FILE* out) {
  fputs("\n\n\t**************************************************************", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                       Scabrosimeter                        *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                       Surface roughness of DEMs and images *", out);
  fputs("\n\t*                                           December 2026    *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t**************************************************************", out);
  fputs("\n\n\n\tThe same treatment can be applied to any morphometric variable\n", out);
}

// Reads the six integers of a descriptor file as "%d%d%d%d%d%d" does: any white space between
// them, reading stops at the first text that is not an integer, unread fields keep their values.
void read_descriptor(FILE* file, int* const (&fields)[6]) {
  for (int* field : fields) {
    int value = 0;
    if (read_int(file, value) != ReadStatus::ok) return;
    *field = value;
  }
}

// Asks for a folder or file name until the answer is one plain name (see is_plain_name): a name
// that could reach outside the dataset's folder is refused and the question asked again.
std::string ask_name(Run& run, const char* prompt) {
  for (;;) {
    const std::string name = ask_word(run, prompt);
    if (is_plain_name(name)) return name;
    fputs("\n\n\tThis name cannot be used: ", run.con.out);
    fwrite(name.data(), 1, name.size(), run.con.out);
    fputs(
        "\n\tA folder or file name may not hold \\, / or : (nor a control character), and may "
        "not be . or .. alone; type another one.\n",
        run.con.out);
  }
}

std::string describe_stop(const std::string& what, const std::string& path,
                          const std::string& advice) {
  return "\n\n\t" + what + " " + path + "\n\t" + advice + "\n";
}

}  // namespace

void opening(Run& run) {
  FILE* out = run.con.out;
  print_banner(out);

  // The folder.
  std::string folder_path = kImagesRoot;
  folder_path +=
      ask_name(run, "\n\n\tName of the File Folder located in the Directory C:\\images ? ");
  folder_path += "\\";

  // The type of data.
  run.image_type = ask_int(
      run,
      [out] {
        fputs("\n\n\tType of data :", out);
        fputs("\n\t\t0 ====> Digital Elevation Model [DEM]", out);
        fputs("\n\t\t1 ====> 8 bits Image\n\t\t", out);
      },
      [](int answer) { return answer == 0 || answer == 1; });

  // The raster name, and for a DEM its sample width (not validated: 0 is 16 bits, anything
  // else 32 bits).
  std::string nomfic1;
  if (run.image_type == 0) {
    nomfic1 = ask_name(run, "\n\n\tName of DEM File (without any extension _m2.raw or _m4.raw) ? ");
    run.itype = ask_int(
        run,
        [out] { fputs("\n\ttype of DEM :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t", out); },
        [](int) { return true; });
  } else {
    nomfic1 = ask_name(run, "\n\n\tName of 8 bits image (without any extension) ? ");
  }
  const std::string raster_path = folder_path + nomfic1 + raster_suffix(run.image_type, run.itype);
  run.raw_path = raster_path + ".raw";
  const std::string nomdescr1 = raster_path + ".txt";

  // The raw raster: without it there is nothing to do.
  run.f1 = open_dataset_file(run, run.raw_path, "rb");
  if (!run.f1) {
    fprintf(out, "\n\n\tNo File %s\n", run.raw_path.c_str());
    run.con.getch();
    throw RunStop{0};
  }

  // The descriptor file: read it, or ask for its values and create it.
  int val = 0, min_al = 0, max_al = 0;
  run.f1d = open_dataset_file(run, nomdescr1, "r");
  if (run.f1d) {
    read_descriptor(run.f1d, {&run.nb_lig, &run.nb_col, &val, &min_al, &max_al, &run.taille_pix});
    fclose(run.f1d);
    run.f1d = nullptr;
  } else {
    fprintf(out, "\n\n\tNo File %s ", nomdescr1.c_str());
    const auto positive = [](int answer) { return answer >= 1; };
    run.nb_lig = ask_int(
        run, [out] { fputs("\n\t\tNumber of lines   ? ", out); }, positive);
    run.nb_col = ask_int(
        run, [out] { fputs("\n\t\tNumber of columns ? ", out); }, positive);
    run.taille_pix = ask_int(
        run, [out] { fputs("\n\t\tPixel size ? ", out); }, [](int) { return true; });
    val = 1;
    if (run.image_type == 0 && run.itype == 0) val = 2;
    if (run.image_type == 0 && run.itype == 1) val = 4;
    min_al = 0;
    max_al = 65500;
    run.f1d = open_dataset_file(run, nomdescr1, "w");
    if (!run.f1d) {
      stop_run(run, 1,
               describe_stop("The descriptor file could not be created:", nomdescr1,
                             "Check that the folder exists and can be written to, then run the "
                             "program again."));
    }
    fprintf(run.f1d, "%d\n%d\n%d\n%d\n%d\n%d\n", run.nb_lig, run.nb_col, val, min_al, max_al,
            run.taille_pix);
    const int error = close_checked(run.f1d);
    run.f1d = nullptr;
    if (error != 0) {
      // A descriptor cut short would give wrong dimensions to the next run: it goes.
      const bool removed = std::remove(host_path(run.images_root, nomdescr1).c_str()) == 0;
      stop_run(run, 1,
               "\n\n\tThe descriptor file " + nomdescr1 +
                   " could not be written: " + std::strerror(error) + ".\n\t" +
                   (removed ? "It has been deleted. " : "Delete it, it is incomplete. ") +
                   "Make room on the device or check the folder, then run the program again.\n");
    }
  }

  // The size report.
  fputs("\n\n\tTHE FILE HAS : ", out);
  fprintf(out, "\n\t            %d LINES", run.nb_lig);
  fprintf(out, "\n\t        AND %d COLUMNS\n", run.nb_col);
  if (run.nb_lig < 1 || run.nb_col < 1) {
    stop_run(run, 1,
             "\n\n\tThe descriptor file " + nomdescr1 + " gives " + std::to_string(run.nb_lig) +
                 " lines and " + std::to_string(run.nb_col) +
                 " columns: a raster needs at least 1 of each.\n\tCorrect its first two numbers "
                 "(lines, then columns), or delete it to be asked for them, then run the "
                 "program again.\n");
  }

  // The result base name.
  fputs("\n\n\tResulting File (Values reported in a txt File) :", out);
  const int rep = ask_int(
      run,
      [out, &nomfic1] {
        fprintf(out, "\n\n\t\t0 -----> Use of the generic name %s ? ", nomfic1.c_str());
        fputs("\n\t\t1 -----> Creation of a new File ? ", out);
      },
      [](int answer) { return answer == 0 || answer == 1; });
  std::string nomfic = nomfic1;
  if (rep == 1) {
    nomfic = ask_name(run, "\n\n\tName of the File to be created (without any extension) ? ");
  }
  const std::string nomdescr2 = folder_path + nomfic + "_scabrosimeter.txt";
  const std::string nomdescr3 = folder_path + nomfic + "_scabrosimeter.xls";
  run.report_path = nomdescr2;
  run.table_path = nomdescr3;

  // The result files.
  const std::string advice =
      "Check that the folder can be written to and that no folder of that name stands in the "
      "way, then run the program again.";
  run.f2d = open_dataset_file(run, nomdescr2, "w");
  if (!run.f2d) {
    stop_run(run, 1, describe_stop("The report file could not be created:", nomdescr2, advice));
  }
  fprintf(run.f2d, "\n\tTreatment on the image %s\n", run.raw_path.c_str());
  run.f3d = open_dataset_file(run, nomdescr3, "w");
  if (!run.f3d) {
    stop_run(run, 1, describe_stop("The table file could not be created:", nomdescr3, advice));
  }
}

}  // namespace scab
