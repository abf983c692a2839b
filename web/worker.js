"use strict";
// The page's worker: the checker runs here, off the page's thread, so that the page stays
// responsive and its Cancel button can end the check at once. Given the two picked files, it runs
// the module's check_picked and posts back progress messages, then the outcome and the three
// texts (transcript, report, answer file) as buffers of their own.
onmessage = async (event) => {
  const { inputName, outputName, inputBytes, outputBytes } = event.data;
  try {
    const checker = await hash_checker_module({ print: () => {}, printErr: () => {} });
    checker.FS.mkdir("/picked");
    checker.FS.writeFile("/picked/input", inputBytes);
    checker.FS.writeFile("/picked/output", outputBytes);
    const outcome = checker.ccall("check_picked", "string", ["string", "string"],
                                  [inputName, outputName]);
    const part = (n) => {
      const at = checker._result_text(n);
      return checker.HEAPU8.slice(at, at + checker._result_size(n));
    };
    const parts = [part(0), part(1), part(2)];
    // The module's memory at the end, which never shrinks: the check's peak, for the tests.
    postMessage({ outcome, parts, memory: checker.HEAPU8.length }, parts.map((p) => p.buffer));
  } catch (e) {
    // The core ends a check only when an allocation other than a case's can't be had; a case
    // whose memory can't be had is a case not built, shown in the report.
    postMessage({ failed: "The check needs more memory than this browser tab can have" });
  }
};
